#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace orvo {
namespace {

using test::Recorder;

TEST(Diagnostics, RecordsWithoutShowingAndForwardsInOrderOnce) {
  Recorder rec;
  Diagnostics sink;
  sink.Add("first");
  sink.Add("second", MsgStyle::OkCritical, "Title");
  EXPECT_TRUE(rec.Messages().empty());
  ASSERT_EQ(sink.items().size(), 2u);

  sink.Forward();
  const std::vector<Message> expected = {{"first", MsgStyle::Ok, std::nullopt},
                                         {"second", MsgStyle::OkCritical, "Title"}};
  EXPECT_EQ(rec.Messages(), expected);
  EXPECT_TRUE(sink.empty());

  sink.Forward();  // nothing left: no box shown twice
  EXPECT_EQ(rec.Messages().size(), 2u);
}

}  // namespace
}  // namespace orvo
