// What the standard status window shows of a protocol's run-time values.
#include <QLabel>
#include <QString>
#include <cmath>
#include <cstdio>

#include "comm/ticks.hpp"
#include "protocols/component/protocol_component.hpp"
#include "protocols/core/protocol_core.hpp"
#include "status/meter.hpp"
#include "status/standard_display.hpp"

namespace qor {

namespace {

constexpr int kShownNameLength = 18;

QString Number(std::int64_t value) { return QString::number(value); }

QString TimeText(std::int32_t seconds) { return QString::fromStdString(MinutesSeconds(seconds)); }

// The name part of the path, cut to 18 characters (not bytes) and "...".
QString ShownFileName(const std::string& path) {
  const QString name = QString::fromStdString(JustFileName(path));
  return name.size() > kShownNameLength ? name.left(kShownNameLength) + "..." : name;
}

QString Formatted(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return QString::fromLatin1(text);
}

}  // namespace

void TStandardDisplay::UpdateValues(TQorCustomProtocol& protocol) {
  const std::int64_t file_size = protocol.FileSize();
  const std::int64_t block_size = protocol.BlockSize();
  const std::int64_t transferred = protocol.BytesTransferred();
  const std::int64_t remaining = protocol.BytesRemaining();
  const std::int32_t elapsed = protocol.ElapsedTicks();

  psProtocol->setText(QString::fromStdString(ProtocolName(protocol.ProtocolType())));
  psBlockCheck->setText(QString::fromStdString(BlockCheckName(protocol.BlockCheckMethod())));
  psFileName->setText(ShownFileName(protocol.FileName()));
  psFileSize->setText(Number(file_size));
  psBlockSize->setText(Number(block_size));
  // The engines never report a block size of 0; the counts then read 0.
  psTotalBlocks->setText(Number(block_size != 0 ? file_size / block_size : 0));
  psBytesTransferred->setText(Number(transferred));
  psBytesRemaining->setText(Number(remaining));
  psBlocksTransferred->setText(Number(block_size != 0 ? transferred / block_size : 0));
  psBlocksRemaining->setText(
      Number(block_size != 0 ? (remaining + block_size - 1) / block_size : 0));
  psBlockErrors->setText(Number(protocol.BlockErrors()));
  psTotalErrors->setText(Number(protocol.TotalErrors()));
  psEstimatedTime->setText(TimeText(protocol.EstimatedSeconds(protocol.FileSize())));
  psElapsedTime->setText(TimeText(TicksToSecs(elapsed)));
  psRemainingTime->setText(TimeText(protocol.EstimatedSeconds(protocol.BytesRemaining())));

  // Ticks are 1/18.2 s.
  const double throughput =
      elapsed > 0 ? static_cast<double>(transferred - protocol.InitialPosition()) / (elapsed / 18.2)
                  : 0.0;
  psThroughput->setText(Formatted("%5.0f CPS", throughput));
  const std::int32_t line_cps = protocol.LineBitRate() / 10;
  const double efficiency = line_cps != 0 ? throughput / line_cps * 100.0 : 0.0;
  psEfficiency->setText(Formatted("%3.0f", efficiency) + "%");
  psKermitWindows->setText(Number(protocol.KermitWindowsUsed()));
  psStatusMsg->setText(
      QString::fromStdString(TQorCustomProtocol::StatusText(protocol.StatusCode())));

  // Halves to even; kept as 16 bits, so past the end of the file it may
  // exceed 100 and the meter shows a full bar.
  const double percent =
      file_size != 0 ? std::nearbyint(static_cast<double>(transferred) / file_size * 100.0) : 0.0;
  LastPercentage = static_cast<std::uint16_t>(static_cast<std::int64_t>(percent));
  Meter->SetMin(0);
  Meter->SetMax(100);
  Meter->SetPosition(LastPercentage);
}

}  // namespace qor
