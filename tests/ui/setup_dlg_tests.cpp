// The Setup Communications dialog through the Setup command: the port list
// and the stored port, the error policy after OK and Cancel, the interface
// switch, and the range checks of the UDP port and the passcode.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "ui/command_ids.h"
#include "ui/setup_dlg.h"
#include "ui_test_support.h"

namespace flash::ui::testing {
namespace {

class UiSetupDlg : public UiFrameFixture {
 protected:
  // Runs the Setup command with act answering the dialog.
  void RunSetup(const std::function<void(CSetupDlg&)>& act) {
    ModalScript script;
    script.On<CSetupDlg>(act);
    Frame().OnCommand(ID_SETUP);
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.Unexpected().empty());
  }
};

TEST_F(UiSetupDlg, StoredPortSelectsTheFirstItemItBegins) {
  struct Case {
    const char* stored;
    const char* shown;
    int index;  // -1: kept in the field, no item selected
  };
  const Case cases[] = {
      {"COM3", "COM3", 2},
      {"com3", "COM3", 2},
      {"cOm15", "COM15", 14},
      {"COM1", "COM1", 0},  // not COM10: the first item that begins with it
      {"COM10", "COM10", 9},
      {"", "COM1", 0},
      {"/DEV/TTYUSB0", "/dev/ttyUSB0", 15},
      {"COM16", "COM16", -1},
      {"/dev/pts/7", "/dev/pts/7", -1},
  };
  EnsureApp();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    CSetupDlg dialog(nullptr, {"/dev/ttyUSB0", "/dev/ttyACM1"});
    dialog.m_strComPort = c.stored;
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.m_comboPort->count(), 17);
    EXPECT_EQ(dialog.m_comboPort->itemText(0), "COM1");
    EXPECT_EQ(dialog.m_comboPort->currentText(), c.shown);
    EXPECT_EQ(dialog.m_comboPort->currentIndex(), c.index);
  }
}

TEST_F(UiSetupDlg, OkStoresTheChosenPortName) {
  struct Case {
    const char* stored;
    const char* typed;  // nullptr: the field is left as it opened
    const char* saved;
  };
  const Case cases[] = {
      {"com3", nullptr, "COM3"},     {"", nullptr, "COM1"},        {"COM16", nullptr, "COM16"},
      {"COM2", "com12", "COM12"},    {"COM2", " /dev/ttyUSB9 ", "/dev/ttyUSB9"},
      {"COM2", "", "COM2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Frame().Settings().ComPort = c.stored;
    RunSetup([&](CSetupDlg& dialog) {
      if (c.typed != nullptr) dialog.m_comboPort->setEditText(QString::fromUtf8(c.typed));
      dialog.OkButton()->click();
    });
    EXPECT_EQ(Frame().Settings().ComPort, c.saved);
  }
}

TEST_F(UiSetupDlg, OkSetsTheErrorPolicyAndCancelKeepsIt) {
  struct Case {
    int before;
    bool ok;
    bool uncheck;
    int after;
  };
  const Case cases[] = {
      {1, true, false, 0}, {5, true, false, 0}, {0, true, true, 1},
      {1, false, false, 1}, {5, false, false, 5}, {0, false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.before << (c.ok ? " OK" : " Cancel") << (c.uncheck ? " unchecked" : ""));
    Frame().Engine().Run().IgnoreErrors = c.before;
    RunSetup([&](CSetupDlg& dialog) {
      // The box opens checked whatever the policy was.
      EXPECT_TRUE(dialog.StopOnErrorsBox()->isChecked());
      if (c.uncheck) dialog.StopOnErrorsBox()->click();
      (c.ok ? dialog.OkButton() : dialog.CancelButton())->click();
    });
    EXPECT_EQ(Frame().Engine().Run().IgnoreErrors, c.after);
  }
}

TEST_F(UiSetupDlg, InterfaceSwitchHoldsAfterCancelAndRestoresTypedFields) {
  CommSettings& settings = Frame().Settings();
  settings.SerialActive = 1;
  settings.EthernetActive = 0;
  settings.IpAddress = "192.168.1.123";
  RunSetup([&](CSetupDlg& dialog) {
    EXPECT_TRUE(dialog.SerialBox()->isChecked());
    EXPECT_FALSE(dialog.EthernetBox()->isChecked());
    dialog.IpAddressEdit()->setText("10.0.0.9");
    dialog.EthernetBox()->click();
    EXPECT_FALSE(dialog.SerialBox()->isChecked());
    EXPECT_TRUE(dialog.EthernetBox()->isChecked());
    EXPECT_EQ(dialog.IpAddressEdit()->text(), "192.168.1.123");
    // A click on the checked box keeps it checked.
    dialog.EthernetBox()->click();
    EXPECT_TRUE(dialog.EthernetBox()->isChecked());
    dialog.CancelButton()->click();
  });
  EXPECT_EQ(settings.EthernetActive, 1);
  EXPECT_EQ(settings.SerialActive, 0);
  EXPECT_EQ(settings.IpAddress, "192.168.1.123");

  RunSetup([&](CSetupDlg& dialog) {
    dialog.IpAddressEdit()->setText("10.0.0.9");
    dialog.SerialBox()->click();
    dialog.OkButton()->click();
  });
  EXPECT_EQ(settings.SerialActive, 1);
  EXPECT_EQ(settings.EthernetActive, 0);
  EXPECT_EQ(settings.IpAddress, "192.168.1.123");
}

TEST_F(UiSetupDlg, UdpPortAndPasscodeMustLieInRange) {
  struct Case {
    bool passcode;
    const char* text;
    bool accepted;
    std::int32_t value;
  };
  const Case cases[] = {
      {false, "65535", true, 65535}, {false, "0", true, 0},        {false, " 49220 ", true, 49220},
      {false, "65536", false, 0},    {false, "-1", false, 0},      {false, "4x", false, 0},
      {false, "", false, 0},         {false, "99999999999", false, 0}, {true, "65535", true, 65535},
      {true, "65536", false, 0},     {true, "+40817", true, 40817},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.passcode ? "passcode " : "UDP port ") << '"' << c.text << '"');
    CommSettings& settings = Frame().Settings();
    settings.UdpPort = 49152;
    settings.Passcode = 5;
    QString message;
    bool stayedOpen = false;
    bool fieldSelected = false;
    ModalScript script;
    script.On<CSetupDlg>([&](CSetupDlg& dialog) {
      QLineEdit* field = c.passcode ? dialog.PasscodeEdit() : dialog.UdpPortEdit();
      field->setText(QString::fromUtf8(c.text));
      if (!c.accepted) {
        script.OkMessageBox(nullptr, &message);
        script.On<CSetupDlg>([&, field](CSetupDlg& same) {
          stayedOpen = same.isVisible();
          // The focus comes back once the message box has gone; on a loaded machine that can take a moment.
          const auto selected = [&] { return same.focusWidget() == field && field->selectedText() == field->text(); };
          QElapsedTimer waited;
          waited.start();
          while (!selected() && waited.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
          fieldSelected = selected();
          same.CancelButton()->click();
        });
      }
      dialog.OkButton()->click();
    });
    Frame().OnCommand(ID_SETUP);
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(script.Unexpected().empty());
    const std::int32_t stored = c.passcode ? settings.Passcode : settings.UdpPort;
    if (c.accepted) {
      EXPECT_EQ(stored, c.value);
    } else {
      EXPECT_TRUE(message.contains("0 to 65535")) << message.toStdString();
      EXPECT_TRUE(stayedOpen);
      EXPECT_TRUE(fieldSelected);
      EXPECT_EQ(stored, c.passcode ? 5 : 49152);  // a refused entry is not taken, even after Cancel
    }
  }
}

TEST_F(UiSetupDlg, StoredOutOfRangeValueIsShownAndRefusedUntilCorrected) {
  Frame().Settings().UdpPort = 70000;
  int messages = 0;
  ModalScript script;
  script.On<CSetupDlg>([&](CSetupDlg& dialog) {
    EXPECT_EQ(dialog.UdpPortEdit()->text(), "70000");
    script.On<QMessageBox>([&](QMessageBox& box) {
      ++messages;
      box.button(QMessageBox::Ok)->click();
    });
    script.On<CSetupDlg>([&](CSetupDlg& same) {
      same.UdpPortEdit()->setText("7000");
      same.OkButton()->click();
    });
    dialog.OkButton()->click();
  });
  Frame().OnCommand(ID_SETUP);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(messages, 1);
  EXPECT_EQ(Frame().Settings().UdpPort, 7000);
}

TEST(UiSerialDevices, ListsSerialDevicesByKindAndNumber) {
  flash::testing::TempDir dev;
  for (const char* name : {"ttyS10", "ttyS2", "ttyS1", "ttyACM0", "ttyUSB1", "ttyUSB0", "tty0", "console", "ttyprintk"}) {
    dev.Write(name, "");
  }
  std::filesystem::create_directories(dev.Path() / "serial" / "by-id");
  dev.Write("serial/by-id/u", "");
  dev.Write("serial/by-id/usb-FTDI_FT232R_USB_UART_A1234567-if00-port0", "");
  const std::string root = dev.Path().string();
  const std::vector<std::string> expected = {root + "/ttyS1",   root + "/ttyS2",   root + "/ttyS10",
                                             root + "/ttyUSB0", root + "/ttyUSB1", root + "/ttyACM0"};
  std::vector<std::string> found = FindSerialDevices(root);
  // The stable names that fit in update.ini follow.
  const std::string shortId = root + "/serial/by-id/u";
  if (shortId.size() <= 39) {
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.back(), shortId);
    found.pop_back();
  }
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(FindSerialDevices(root + "/missing").empty());
}

}  // namespace
}  // namespace flash::ui::testing
