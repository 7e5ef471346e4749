#include "cli/run_outcome.h"

#include <gtest/gtest.h>

#include "engine/flash_run.h"

namespace flash::cli {
namespace {

TEST(CliExitStatus, EachWayARunEndsHasItsOwnStatus) {
  const std::string mismatch = "The selected RUF file is not compatible with the Tarsel";
  const std::string damaged = "The update was not started: line 3 of the file has a checksum error.";
  const struct {
    const char* name;
    RunOutcome outcome;
    ExitStatus status;
  } cases[] = {
      {"update succeeded", {IDD_UPDATE_SUCCESS, {}, false, false}, ExitStatus::Success},
      {"verify succeeded", {IDD_VERIFY_SUCCESS, {}, false, false}, ExitStatus::Success},
      {"update failed", {IDD_UPDATE_FAILED, {}, false, false}, ExitStatus::RunFailed},
      {"verify failed", {IDD_VERIFY_FAILED, {}, false, false}, ExitStatus::RunFailed},
      {"communication failed", {IDD_COMM_ERROR, {}, false, false}, ExitStatus::CommFailure},
      {"error checking off", {IDD_NOT_JUDGED, {}, false, false}, ExitStatus::NotJudged},
      {"model mismatch", {std::nullopt, {mismatch}, false, false}, ExitStatus::ModelMismatch},
      {"file not opened", {std::nullopt, {"Unable to open file"}, false, false}, ExitStatus::FileUnusable},
      {"damaged file refused", {std::nullopt, {damaged}, false, false}, ExitStatus::FileUnusable},
      {"link not opened", {std::nullopt, {"Unable to open COM1"}, true, false}, ExitStatus::LinkUnavailable},
      {"interrupted", {std::nullopt, {}, false, true}, ExitStatus::Interrupted},
      {"interrupted after a message", {std::nullopt, {mismatch}, false, true}, ExitStatus::Interrupted},
      // Nothing to go by is never a success.
      {"ended without a result", {std::nullopt, {}, false, false}, ExitStatus::RunFailed},
      {"unrelated message only", {std::nullopt, {"something else"}, false, false}, ExitStatus::RunFailed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExitStatusFor(c.outcome), c.status) << c.name;
  }
  EXPECT_EQ(ToInt(ExitStatus::RunFailed), 1);
  EXPECT_EQ(ToInt(ExitStatus::CommFailure), 2);
  EXPECT_EQ(ToInt(ExitStatus::ModelMismatch), 3);
  EXPECT_EQ(ToInt(ExitStatus::FileUnusable), 4);
  EXPECT_EQ(ToInt(ExitStatus::LinkUnavailable), 5);
  EXPECT_EQ(ToInt(ExitStatus::NotJudged), 6);
  EXPECT_EQ(ToInt(ExitStatus::Usage), 64);
  // A run that was not judged is never reported as a success.
  EXPECT_NE(DescribeExitStatus(ExitStatus::NotJudged, false).find("cannot be judged"), std::string::npos);
  EXPECT_EQ(DescribeExitStatus(ExitStatus::NotJudged, false).find("succeeded"), std::string::npos);
}

// A link that refuses or accepts the run, to see what RecordingLink remembers.
class FixedLink final : public RadioLink {
 public:
  bool opens = true;
  int transmitted = 0;
  bool OpenForRun() override { return opens; }
  void Transmit(const std::uint8_t*, std::size_t) override { ++transmitted; }
  void PurgeSerial() override {}
  void CloseForRun() override {}
};

TEST(CliExitStatus, RecordingLinkRemembersARefusedOpen) {
  FixedLink inner;
  RecordingLink link(inner);
  EXPECT_FALSE(link.OpenFailed());
  inner.opens = false;
  EXPECT_FALSE(link.OpenForRun());
  EXPECT_TRUE(link.OpenFailed());
  inner.opens = true;
  EXPECT_TRUE(link.OpenForRun());
  EXPECT_FALSE(link.OpenFailed());
  link.Transmit(nullptr, 0);
  EXPECT_EQ(inner.transmitted, 1);
}

}  // namespace
}  // namespace flash::cli
