# Warnings for every target of the project; -Werror when QOR_WERROR is on (CI).
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Woverloaded-virtual)
if(QOR_WERROR)
  add_compile_options(-Werror)
endif()
