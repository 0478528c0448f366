// Compiles a shared precompiled header; there is nothing else here.
