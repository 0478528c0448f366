#pragma once
// A Kermit record without a port, for testing the packet layer on its own.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocols/core/protocol_core.hpp"
#include "protocols/kermit/kermit.hpp"

namespace qor::testing {

class KermitRecord {
 public:
  KermitRecord() {
    InitProtocolData(data_, nullptr, 0);
    KermitInit(*data_);
  }
  ~KermitRecord() {
    KermitDone(*data_);
    DoneProtocolData(data_);
  }
  KermitRecord(const KermitRecord&) = delete;
  KermitRecord& operator=(const KermitRecord&) = delete;

  TProtocolData& data() { return *data_; }
  TKermitData& kd() { return Kermit(*data_); }

  // Puts a received data field into DataBlock, as the assembler leaves it.
  void SetReceived(const std::string& field) {
    std::copy(field.begin(), field.end(), data_->DataBlock);
    kd().RxDataLen = static_cast<std::int32_t>(field.size());
  }
  std::string Field() const {
    auto& kd = Kermit(*data_);
    return {reinterpret_cast<const char*>(data_->DataBlock), static_cast<std::size_t>(kd.TxDataLen)};
  }

 private:
  std::unique_ptr<TProtocolData> data_;
};

inline std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

}  // namespace qor::testing
