// The queue between the device's threads and the dispatch thread.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "comm/dispatcher/io_queue.hpp"

namespace qor::testing {
namespace {

std::unique_ptr<TDataBuffer> Piece(TIOQueue& q, const std::string& bytes) {
  std::unique_ptr<TDataBuffer> piece = q.NewDataBuffer(256);
  std::copy(bytes.begin(), bytes.end(), piece->Data.begin());
  piece->Used = static_cast<std::uint32_t>(bytes.size());
  return piece;
}

std::string Take(TIOQueue& q, std::uint32_t count) {
  std::string out(count, '\0');
  out.resize(q.TakeLeadingData(reinterpret_cast<std::uint8_t*>(out.data()), count));
  return out;
}

TEST(IOQueue, LeadingDataIsTakenAcrossPiecesAndStopsAtAnEvent) {
  TIOQueue q;
  std::vector<std::unique_ptr<TIOBuffer>> items;
  items.push_back(Piece(q, "abc"));
  items.push_back(Piece(q, "defg"));
  items.push_back(std::make_unique<TStatusBuffer>(0x40));
  items.push_back(Piece(q, "hij"));
  q.PushAll(items);
  EXPECT_TRUE(items.empty());

  EXPECT_EQ(q.LeadingDataBytes(), 7u);
  // Only an event at the front is taken as one.
  EXPECT_EQ(q.PopStatus(), nullptr);
  EXPECT_EQ(q.LeadingDataBytes(), 7u);
  EXPECT_EQ(Take(q, 5), "abcde");
  EXPECT_EQ(q.LeadingDataBytes(), 2u);
  EXPECT_EQ(Take(q, 10), "fg");
  // The event waits for its turn in front of the later bytes.
  EXPECT_EQ(Take(q, 10), "");
  EXPECT_EQ(q.LeadingDataBytes(), 0u);
  std::unique_ptr<TStatusBuffer> event = q.PopStatus();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->Status, 0x40u);
  EXPECT_EQ(q.LeadingDataBytes(), 3u);
  EXPECT_EQ(Take(q, 10), "hij");
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.BytesQueued(), 0u);
}

TEST(IOQueue, UsedUpPiecesComeBackEmptyForTheNextRead) {
  TIOQueue q;
  std::unique_ptr<TDataBuffer> first = Piece(q, "xyz");
  const TDataBuffer* const address = first.get();
  q.Push(std::move(first));
  EXPECT_EQ(Take(q, 2), "xy");
  // Not used up yet: a new piece is a different buffer.
  std::unique_ptr<TDataBuffer> other = q.NewDataBuffer(256);
  EXPECT_NE(other.get(), address);
  EXPECT_EQ(Take(q, 2), "z");
  std::unique_ptr<TDataBuffer> again = q.NewDataBuffer(256);
  EXPECT_EQ(again.get(), address);
  EXPECT_EQ(again->Used, 0u);
  EXPECT_EQ(again->Read, 0u);
  // An empty piece is used up at once; the spare it leaves is not handed out
  // for another size.
  q.Push(std::move(again));
  EXPECT_EQ(Take(q, 1), "");
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.NewDataBuffer(512)->Data.size(), 512u);
}

}  // namespace
}  // namespace qor::testing
