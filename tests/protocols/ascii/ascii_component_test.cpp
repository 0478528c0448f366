// The protocol component's ASCII options: cached while another engine is
// selected, applied when ASCII is, and at once while it is.
#include <gtest/gtest.h>

#include "protocols/component/protocol_component.hpp"

namespace qor {
namespace {

TEST(AsciiComponent, OptionsReachTheEngineWhenItIsSelected) {
  TQorProtocol p;
  p.SetAsciiCharDelay(56);
  p.SetAsciiLineDelay(110);
  p.SetAsciiEOLChar(10);
  p.SetAsciiCRTranslation(aetStrip);
  p.SetAsciiLFTranslation(aetAddCRBefore);
  p.SetAsciiEOFTimeout(91);
  p.SetProtocolType(ptAscii);
  const TAsciiData& ad = p.Data().EngineAs<TAsciiData>();
  EXPECT_EQ(ad.CharDelay, 56u);
  EXPECT_EQ(ad.CharDelayTicks, 2);
  EXPECT_EQ(ad.LineDelayTicks, 2);
  EXPECT_EQ(ad.EOLChar, 10);
  EXPECT_EQ(ad.CRTranslation, aetStrip);
  EXPECT_EQ(ad.LFTranslation, aetAddCRBefore);
  EXPECT_EQ(ad.EOFTimeout, 91);
  EXPECT_EQ(p.BlockSize(), 60);
  EXPECT_EQ(p.BlockCheckMethod(), bcmNone);
  p.SetAsciiCharDelay(0);
  p.SetAsciiCRTranslation(aetAddLFAfter);
  EXPECT_EQ(ad.CharDelayTicks, 0);
  EXPECT_EQ(ad.CRTranslation, aetAddLFAfter);
  EXPECT_EQ(ad.LFTranslation, aetAddCRBefore);
  // Kept across another engine.
  p.SetProtocolType(ptKermit);
  p.SetAsciiEOFTimeout(18);
  p.SetProtocolType(ptAscii);
  EXPECT_EQ(p.Data().EngineAs<TAsciiData>().EOFTimeout, 18);
  EXPECT_EQ(p.Data().EngineAs<TAsciiData>().CRTranslation, aetAddLFAfter);
}

}  // namespace
}  // namespace qor
