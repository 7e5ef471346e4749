// The main window: its menu and the command states, the close gate, the
// settings at creation and destruction, the command line, the log pane and
// the splash picture, and the window services the engine uses.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>

#include "engine/result_dialogs.h"
#include "ui/about_dlg.h"
#include "ui/client_area.h"
#include "ui/command_ids.h"
#include "ui/dialog_look.h"
#include "ui/result_dlg.h"
#include "ui/splash_picture.h"
#include "ui/update_app.h"
#include "ui_test_support.h"

namespace flash::ui::testing {
namespace {

constexpr const char* kCheckedSettings = "[SERIAL INTERFACE]\nCOMPORT=COM7\nSTOP ON ERRORS=0\n";

using UiMainFrame = UiFrameFixture;

TEST_F(UiMainFrame, MenuHoldsTheItemsWithOnlyF1Bound) {
  struct Item {
    int menu;
    int commandId;
    const char* text;
  };
  const Item items[] = {
      {0, ID_UPDATE_RADIO, "&Update Radio\tF2"}, {0, ID_VERIFY_PROGRAM, "&Verify Program\tF3"},
      {0, ID_APP_EXIT, "&Quit\tAlt-X"},          {1, ID_SETUP, "Setup..."},
      {2, ID_APP_ABOUT, "&About Update\tF1"},
  };
  const QStringList titles = {"&Process", "&Settings", "&Help"};
  for (int menu = 0; menu < 3; ++menu) EXPECT_EQ(Frame().Menu(menu)->title(), titles[menu]);
  for (const Item& item : items) {
    SCOPED_TRACE(item.text);
    QAction* action = Frame().CommandAction(item.commandId);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QString::fromUtf8(item.text));
    EXPECT_TRUE(Frame().Menu(item.menu)->actions().contains(action));
    EXPECT_EQ(action->shortcut(),
              item.commandId == ID_APP_ABOUT ? QKeySequence(Qt::Key_F1) : QKeySequence());
  }
  EXPECT_EQ(Frame().windowTitle(), "Varnex Zanthe32 Flash Update Utility");
  EXPECT_EQ(Frame().StatusPane(0)->text(), " ");
  EXPECT_EQ(Frame().StatusPane(2)->text(), "");
}

TEST_F(UiMainFrame, CommandStatesFollowBusyAndIgnoreErrors) {
  struct Case {
    int busy;
    int ignoreErrors;
    bool update;
    bool verify;
    bool quit;
  };
  const Case cases[] = {
      {0, 0, true, true, true},    {0, 1, true, false, true},    {0, 5, true, false, true},
      {1, 0, false, false, false}, {1, 1, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "Busy " << c.busy << ", IgnoreErrors " << c.ignoreErrors);
    Frame().Engine().Run().Busy = c.busy;
    Frame().Engine().Run().IgnoreErrors = c.ignoreErrors;
    EXPECT_EQ(ItemEnabled(ID_UPDATE_RADIO), c.update);
    EXPECT_EQ(ItemEnabled(ID_VERIFY_PROGRAM), c.verify);
    EXPECT_EQ(ItemEnabled(ID_APP_EXIT), c.quit);
    EXPECT_TRUE(ItemEnabled(ID_SETUP));
    EXPECT_TRUE(ItemEnabled(ID_APP_ABOUT));
  }
}

TEST_F(UiMainFrame, DisabledRunCommandDoesNothing) {
  Frame().Engine().Run().Busy = 1;
  Frame().OnCommand(ID_UPDATE_RADIO);
  Frame().Engine().Run().Busy = 0;
  Frame().Engine().Run().IgnoreErrors = 1;
  Frame().OnCommand(ID_VERIFY_PROGRAM);
  EXPECT_TRUE(fileRequests.empty());
  EXPECT_TRUE(Frame().ShowBitmap());
}

TEST_F(UiMainFrame, CloseIsRefusedWhileBusy) {
  Frame().show();
  Frame().Engine().Run().Busy = 1;
  EXPECT_FALSE(Frame().close());
  Frame().OnCommand(ID_APP_EXIT);
  EXPECT_TRUE(Frame().isVisible());

  Frame().Engine().Run().Busy = 0;
  Frame().RunLogs().OpenCommsLog();
  ASSERT_TRUE(Frame().RunLogs().CommsLogOpen());
  Frame().OnCommand(ID_APP_EXIT);
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_FALSE(Frame().RunLogs().CommsLogOpen());
}

TEST_F(UiMainFrame, SettingsAreReadAtCreationAndWrittenAtDestruction) {
  WriteSettings(kCheckedSettings);
  EXPECT_EQ(Frame().Settings().ComPort, "COM7");
  EXPECT_EQ(Frame().Engine().Run().IgnoreErrors, 0);
  Frame().Settings().ComPort = "/dev/ttyUSB3";
  Frame().OnCommand(ID_TOGGLE_IGNORE_ERRORS);
  // Nothing reaches the file before the window goes.
  CommSettings stored;
  int ignoreErrors = -1;
  LoadSettings(dir.File("update.ini"), stored, ignoreErrors);
  EXPECT_EQ(stored.ComPort, "COM7");
  DestroyFrame();
  LoadSettings(dir.File("update.ini"), stored, ignoreErrors);
  EXPECT_EQ(stored.ComPort, "/dev/ttyUSB3");
  EXPECT_EQ(ignoreErrors, 1);
}

TEST_F(UiMainFrame, AnyCommandLineArgumentTurnsErrorCheckingOff) {
  struct Case {
    QStringList arguments;
    int ignoreErrors;
  };
  const Case cases[] = {
      {{"flash-updater"}, 0}, {{"flash-updater", "x"}, 1}, {{"flash-updater", ""}, 1}, {{"flash-updater", "/s", "2"}, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    WriteSettings(kCheckedSettings);
    {
      CUpdateApp app(c.arguments, Options());
      ASSERT_TRUE(app.InitInstance());
      ASSERT_NE(app.MainFrame(), nullptr);
      EXPECT_TRUE(app.MainFrame()->isVisible());
      EXPECT_EQ(app.MainFrame()->Engine().Run().IgnoreErrors, c.ignoreErrors);
      EXPECT_EQ(app.MainFrame()->CommandEnabled(ID_VERIFY_PROGRAM), c.ignoreErrors == 0);
    }
    // The override is what the program saves at exit.
    CommSettings stored;
    int ignoreErrors = -1;
    LoadSettings(dir.File("update.ini"), stored, ignoreErrors);
    EXPECT_EQ(ignoreErrors, c.ignoreErrors);
  }
}

TEST_F(UiMainFrame, FirstRunStartShowsTheLogPaneEvenWhenTheFileIsNotChosen) {
  Frame().show();
  Frame().resize(500, 400);
  ProcessEventsFor(20);
  EXPECT_FALSE(Frame().LogPane()->isVisible());
  EXPECT_TRUE(Frame().ShowBitmap());
  // The hidden pane follows the client area.
  EXPECT_EQ(Frame().LogPane()->geometry(), Frame().Client()->rect());

  Frame().CommandAction(ID_UPDATE_RADIO)->trigger();
  ASSERT_EQ(fileRequests.size(), 1u);
  EXPECT_EQ(fileRequests[0].title, "Select Firmware Update File");
  EXPECT_TRUE(Frame().LogPane()->isVisible());
  EXPECT_TRUE(Frame().LogPane()->isReadOnly());
  EXPECT_FALSE(Frame().ShowBitmap());
  EXPECT_EQ(Frame().LogPane()->toPlainText(), "");
  EXPECT_EQ(Frame().LogPane()->geometry(), Frame().Client()->rect());
  EXPECT_EQ(Frame().StatusPane(2)->text(), "Program Flash");
}

TEST_F(UiMainFrame, LogPaneShowsTheWholeLogText) {
  Logs& logs = Frame().RunLogs();
  QPlainTextEdit* pane = Frame().LogPane();
  logs.AppendLog("Program Mode \r\n");
  logs.AppendLog(" 12 total data lines in file.");
  logs.AppendLog("\r");
  logs.AppendLog("\n ; comment \x01 with a control\r\n");
  EXPECT_EQ(pane->toPlainText(), "Program Mode \n 12 total data lines in file.\n ; comment ? with a control\n");
  EXPECT_EQ(pane->toPlainText(), LogPaneText(logs.LogText()));
  logs.ClearLog();
  EXPECT_EQ(pane->toPlainText(), "");
  logs.AppendLog("\r\n Flash Rom Update File - /tmp/\xc3\xa4.ruf\r\n");
  EXPECT_EQ(pane->toPlainText(), QString::fromUtf8("\n Flash Rom Update File - /tmp/\xc3\xa4.ruf\n"));
}

TEST_F(UiMainFrame, StatusPanesShowTheEngineTexts) {
  Frame().RunLogs().SetStatus(kProgressPane, "3 of 12 Lines Processed");
  Frame().RunLogs().SetStatus(kModelPane, "Model 730");
  Frame().RunLogs().SetStatus(kModePane, "<b>Verify Flash</b>");
  EXPECT_EQ(Frame().StatusPane(0)->text(), "3 of 12 Lines Processed");
  EXPECT_EQ(Frame().StatusPane(1)->text(), "Model 730");
  EXPECT_EQ(Frame().StatusPane(2)->text(), "<b>Verify Flash</b>");
  EXPECT_EQ(Frame().StatusPane(2)->textFormat(), Qt::PlainText);
}

TEST_F(UiMainFrame, UnreadableFileIsReportedInAMessageBoxWithTheProgramName) {
  fileToChoose = dir.File("730_missing.ruf");
  QString caption;
  QString text;
  ModalScript script;
  script.OkMessageBox(&caption, &text);
  Frame().OnCommand(ID_UPDATE_RADIO);
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(script.Unexpected().empty());
  EXPECT_EQ(caption, ProgramName());
  EXPECT_EQ(caption, "ui_tests");
  EXPECT_EQ(text, "Unable to open file");
  EXPECT_EQ(Frame().Engine().Run().Busy, 0);
}

TEST_F(UiMainFrame, ResultDialogsShowTheirCaptionAndText) {
  const std::pair<int, const char*> dialogs[] = {
      {IDD_COMM_ERROR, "Error Encountered"}, {IDD_UPDATE_SUCCESS, "Flash Update"},
      {IDD_VERIFY_SUCCESS, "Flash Verification"}, {IDD_NOT_JUDGED, "Flash Loader"},
      {IDD_VERIFY_FAILED, "Dialog"},         {IDD_UPDATE_FAILED, "Dialog"},
  };
  for (const auto& [id, caption] : dialogs) {
    SCOPED_TRACE(id);
    int shownId = 0;
    QString shownCaption;
    QString shownText;
    ModalScript script;
    script.On<CResultDlg>([&](CResultDlg& dialog) {
      shownId = dialog.ResourceId();
      shownCaption = dialog.windowTitle();
      shownText = dialog.Text()->text();
      dialog.OkButton()->click();
    });
    Frame().Services().ShowDialog(id);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(shownId, id);
    EXPECT_EQ(shownCaption, caption);
    EXPECT_EQ(shownText, ResultDialogText(FindResultDialog(id)->text));
  }
  EXPECT_EQ(ResultDialogText(FindResultDialog(IDD_NOT_JUDGED)->text),
            "File Processing Complete! \n\nThere is no way to determine if Flash Updating was successful because "
            "error checking was turned off.");
  // A number that names no dialog shows nothing.
  ModalScript none;
  Frame().Services().ShowDialog(999);
  EXPECT_TRUE(none.Unexpected().empty());
}

TEST_F(UiMainFrame, AboutBoxShowsTheVersionAndTheBuildStamp) {
  QString version;
  QString builtOn;
  ModalScript script;
  script.On<CAboutDlg>([&](CAboutDlg& dialog) {
    version = dialog.VersionText()->text();
    builtOn = dialog.BuiltOnText()->text();
    dialog.CloseButton()->click();
  });
  Frame().OnCommand(ID_APP_ABOUT);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(version, "Version 4.06");
  EXPECT_TRUE(QRegularExpression("^[A-Z][a-z]{2} [ 123][0-9] [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}$")
                  .match(builtOn)
                  .hasMatch())
      << builtOn.toStdString();
}

TEST_F(UiMainFrame, TimersArePeriodicUntilKilled) {
  int expiries = 0;
  Frame().Services().SetTimerHandler([&](int timerId) {
    if (timerId == 7) ++expiries;
  });
  Frame().Services().SetTimer(7, 1);
  ASSERT_TRUE(ProcessEventsUntil([&] { return expiries >= 3; }));
  Frame().Services().KillTimer(7);
  EXPECT_FALSE(Frame().Services().TimerRunning(7));
  const int seen = expiries;
  ProcessEventsFor(20);
  EXPECT_EQ(expiries, seen);
}

TEST(UiSplash, PictureIsCentredAndCutEquallyWhenTheAreaIsSmaller) {
  struct Case {
    QSize client;
    QPoint origin;
  };
  const Case cases[] = {
      {{800, 600}, {208, 156}}, {{384, 288}, {0, 0}}, {{383, 287}, {0, 0}}, {{300, 200}, {-42, -44}}, {{0, 0}, {-192, -144}}};
  for (const Case& c : cases) {
    EXPECT_EQ(SplashOrigin(c.client, QSize(kSplashWidth, kSplashHeight)), c.origin)
        << c.client.width() << "x" << c.client.height();
  }
  EnsureApp();
  EXPECT_EQ(MakeSplashPicture().size(), QSize(kSplashWidth, kSplashHeight));
}

}  // namespace
}  // namespace flash::ui::testing
