// Whole runs through the window: the menu command starts the run, the file
// dialog is answered by the test, the engine talks over a real
// pseudo-terminal to the simulated radio's core, and the result dialog is
// closed from a timer while its event loop runs.

#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <filesystem>

#include "../link/serial/pty_pair.h"
#include "radio-sim/simulated_radio.h"
#include "ruf_samples.h"
#include "ui/command_ids.h"
#include "ui/dialog_look.h"
#include "ui/result_dlg.h"
#include "ui/frame_services.h"
#include "ui_test_support.h"

namespace flash::ui::testing {
namespace {

class UiRun : public UiFrameFixture {
 protected:
  void StartRadio(radio_sim::RadioConfig config = {}) {
    radio = std::make_unique<radio_sim::SimulatedRadio>(config);
    Frame().Settings().SerialActive = 1;
    Frame().Settings().EthernetActive = 0;
    Frame().Settings().ComPort = pty.SlavePath();
    Frame().Engine().Run().IgnoreErrors = 0;
    notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(pty.MasterFd()), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
      std::uint8_t buffer[512];
      const auto n = ::read(pty.MasterFd(), buffer, sizeof buffer);
      if (n <= 0) return;
      // The radio answers at once: pauses are left out.
      for (const auto& action : radio->OnSerialBytes({buffer, static_cast<std::size_t>(n)})) {
        if (action.kind == radio_sim::Action::Kind::Write) {
          pty.Send(std::string(action.bytes.begin(), action.bytes.end()));
        }
      }
    });
  }

  // Starts a run from the menu and waits for it to end, closing the result
  // dialog on the way; returns the dialog's caption (empty: none came up).
  QString RunFromMenu(int commandId, const std::string& content) {
    fileToChoose = dir.Write("730_test.ruf", content);
    QString caption;
    ModalScript script;
    script.On<CResultDlg>([&](CResultDlg& dialog) {
      caption = dialog.windowTitle();
      dialog.OkButton()->click();
    });
    Frame().CommandAction(commandId)->trigger();
    // The run is under way: its commands and the close box are shut.
    EXPECT_EQ(Frame().Engine().Run().Busy, 1);
    EXPECT_FALSE(ItemEnabled(ID_UPDATE_RADIO));
    EXPECT_FALSE(ItemEnabled(ID_APP_EXIT));
    EXPECT_TRUE(ItemEnabled(ID_SETUP));
    EXPECT_FALSE(Frame().close());
    EXPECT_TRUE(ProcessEventsUntil([&] { return script.Done() && Frame().Engine().Run().State == RunState::Idle; }));
    EXPECT_TRUE(script.Unexpected().empty());
    return caption;
  }

  ~UiRun() override {
    notifier.reset();
    DestroyFrame();
  }

  flash::testing::PtyPair pty;
  std::unique_ptr<radio_sim::SimulatedRadio> radio;
  std::unique_ptr<QSocketNotifier> notifier;
};

TEST_F(UiRun, UpdateThenVerifyThroughTheMenu) {
  StartRadio();
  Frame().show();
  EXPECT_EQ(RunFromMenu(ID_UPDATE_RADIO, flash::testing::kIntelHexFile), "Flash Update");
  EXPECT_TRUE(radio->Flash().Matches(0x10100, flash::testing::kIntelHexData));
  EXPECT_EQ(Frame().Engine().Run().Busy, 0);
  EXPECT_TRUE(ItemEnabled(ID_UPDATE_RADIO));
  EXPECT_EQ(Frame().StatusPane(1)->text(), "Model 730");
  EXPECT_EQ(Frame().StatusPane(2)->text(), "Program Flash");
  const QString log = Frame().LogPane()->toPlainText();
  EXPECT_EQ(log, LogPaneText(Frame().RunLogs().LogText()));
  EXPECT_TRUE(log.contains("Lines Processed in")) << log.toStdString();
  EXPECT_TRUE(Frame().LogPane()->isVisible());
  EXPECT_FALSE(Frame().ShowBitmap());
  EXPECT_TRUE(std::filesystem::exists(dir.File("comms.txt")));

  EXPECT_EQ(RunFromMenu(ID_VERIFY_PROGRAM, flash::testing::kIntelHexFile), "Flash Verification");
  EXPECT_EQ(Frame().StatusPane(2)->text(), "");
  // The run over, the window closes.
  EXPECT_TRUE(Frame().close());
}

TEST_F(UiRun, ModelMismatchIsReportedInAMessageBox) {
  radio_sim::RadioConfig config;
  config.modelCode = 720;
  StartRadio(config);
  fileToChoose = dir.Write("730_test.ruf", flash::testing::kIntelHexFile);
  QString caption;
  QString text;
  ModalScript script;
  script.OkMessageBox(&caption, &text);
  Frame().OnCommand(ID_UPDATE_RADIO);
  ASSERT_TRUE(ProcessEventsUntil([&] { return script.Done() && Frame().Engine().Run().State == RunState::Idle; }));
  EXPECT_EQ(caption, ProgramName());
  EXPECT_FALSE(text.isEmpty());
  EXPECT_EQ(Frame().Engine().Run().Busy, 0);
  EXPECT_TRUE(ItemEnabled(ID_UPDATE_RADIO));
}

}  // namespace
}  // namespace flash::ui::testing
