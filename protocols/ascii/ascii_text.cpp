#include "protocols/ascii/ascii_text.hpp"

namespace qor {

namespace {

bool SuppressCtrlZ(const TProtocolData& data) {
  return (data.Options & kOptAsciiSuppressCtrlZ) != 0;
}

// Waits ms in place when the step's budget allows; false when the delay must
// go to the protocol timer instead.
bool WaitInPlace(const TAsciiLine& line, std::uint32_t ms, std::uint32_t& spent) {
  if (spent + ms >= kAsciiStepBudgetMs) return false;
  line.Wait(ms);
  spent += ms;
  return true;
}

}  // namespace

std::size_t TranslateLineEnd(const TAsciiData& ad, std::uint8_t c, std::uint8_t out[2]) {
  if (c == kLF) {
    if (ad.LFTranslation == aetStrip) return 0;
    if (ad.LFTranslation == aetAddCRBefore) {
      out[0] = kCR;
      out[1] = kLF;
      return 2;
    }
  } else if (c == kCR) {
    if (ad.CRTranslation == aetStrip) return 0;
    if (ad.CRTranslation == aetAddLFAfter) {
      out[0] = kCR;
      out[1] = kLF;
      return 2;
    }
  }
  out[0] = c;
  return 1;
}

TSendStepEnd SendBlockStep(TProtocolData& data, TAsciiData& ad, const TAsciiLine& line,
                           std::int32_t& delay_ticks) {
  std::uint32_t spent = 0;
  while (ad.SendIndex < ad.BlockCount) {
    const std::uint8_t c = ad.Buffer[static_cast<std::size_t>(ad.SendIndex++)];
    if (c == kCtrlZ && SuppressCtrlZ(data)) {
      ad.EndOfFile = true;
      return TSendStepEnd::BlockDone;
    }
    std::uint8_t out[2];
    const std::size_t n = TranslateLineEnd(ad, c, out);
    if (n > 0) {
      line.Send(out, n);
      data.TransferredCount += static_cast<std::int32_t>(n);
      data.RemainingCount -= static_cast<std::int32_t>(n);
    }
    if (c == ad.EOLChar && ad.LineDelay > 0 && !WaitInPlace(line, ad.LineDelay, spent)) {
      delay_ticks = ad.LineDelayTicks;
      return TSendStepEnd::Delay;
    }
    if (ad.CharDelay > 0 && !WaitInPlace(line, ad.CharDelay, spent)) {
      delay_ticks = ad.CharDelayTicks;
      return TSendStepEnd::Delay;
    }
  }
  return TSendStepEnd::BlockDone;
}

TCollected CollectChar(TProtocolData& data, TAsciiData& ad, std::uint8_t c) {
  if (c == kCtrlZ) {
    if (!SuppressCtrlZ(data)) ad.Buffer[static_cast<std::size_t>(ad.Collected++)] = c;
    ad.EndOfFile = true;
    return TCollected::EndOfFile;
  }
  std::uint8_t out[2];
  const std::size_t n = TranslateLineEnd(ad, c, out);
  for (std::size_t i = 0; i < n; ++i) ad.Buffer[static_cast<std::size_t>(ad.Collected++)] = out[i];
  return ad.Collected >= AsciiBlockLimit(data) ? TCollected::BlockFull : TCollected::More;
}

}  // namespace qor
