#pragma once
// The Setup Communications dialog: the interface (serial port or Ethernet),
// the serial port, the radio's IP address, UDP port and passcode, and the
// error policy ("Stop On Errors").

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace flash::ui {

// The serial devices of this machine, for the port list: ttyS*, ttyUSB* and
// ttyACM* under devRoot, then the stable names under devRoot/serial/by-id
// that fit in update.ini (39 characters). Sorted by kind, then by number.
std::vector<std::string> FindSerialDevices(const std::string& devRoot = "/dev");

class CSetupDlg final : public QDialog {
 public:
  explicit CSetupDlg(QWidget* parent, std::vector<std::string> serialDevices = FindSerialDevices());

  // The dialog's values, exchanged with the controls in this order from m_comboPort on.
  std::string m_strComPort;
  QComboBox* m_comboPort = nullptr;
  int m_bStopOnErrors = 0;
  std::string m_strIpAddress;
  int m_bEthernet = 0;
  std::int32_t m_nUdpPort = 0;
  std::int32_t m_nPasscode = 0;
  int m_bSerial = 0;

  // Starts the dialog and runs it modally; QDialog::Accepted after OK.
  int DoModal();
  // The dialog's start: shows the values, fills the port list, selects the
  // stored port and checks "Stop On Errors".
  void OnInitDialog();

  QCheckBox* StopOnErrorsBox() const { return stopOnErrors_; }
  QCheckBox* SerialBox() const { return serial_; }
  QCheckBox* EthernetBox() const { return ethernet_; }
  QLineEdit* IpAddressEdit() const { return ipAddress_; }
  QLineEdit* UdpPortEdit() const { return udpPort_; }
  QLineEdit* PasscodeEdit() const { return passcode_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  // Shows the values in the controls, or reads the controls into the values
  // in order, stopping at a UDP port or passcode outside 0..65535 (report:
  // say so and put the focus on the field).
  bool DoDataExchange(bool saveAndValidate, bool report);
  bool ReadRangedInteger(QLineEdit* edit, std::int32_t& value, const QString& what, bool report);
  void OnSerialClicked();
  void OnEthernetClicked();
  void OnOK();
  std::string ChosenPortName() const;

  std::vector<std::string> serialDevices_;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QCheckBox* stopOnErrors_ = nullptr;
  QCheckBox* serial_ = nullptr;
  QCheckBox* ethernet_ = nullptr;
  QLineEdit* ipAddress_ = nullptr;
  QLineEdit* udpPort_ = nullptr;
  QLineEdit* passcode_ = nullptr;
};

// The Setup command: copies the settings in, runs the dialog, takes the error
// policy from "Stop On Errors" after OK, and copies the values out however the
// dialog ended (the interface switch takes effect even after Cancel).
void RunSetupCommand(QWidget* parent, CommSettings& settings, int& ignoreErrors);

}  // namespace flash::ui
