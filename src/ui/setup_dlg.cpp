#include "ui/setup_dlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <tuple>

#include "ui/dialog_look.h"

namespace flash::ui {
namespace {

constexpr int kComPorts = 15;
// update.ini keeps at most this many characters of a text value.
constexpr int kMaxSettingText = 39;
constexpr std::int32_t kMaxField = 65535;

// Device kinds in list order; a name's number is its trailing digits.
int KindOf(const std::string& name) {
  static const char* const kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
  for (int kind = 0; kind < 3; ++kind) {
    if (name.rfind(kPrefixes[kind], 0) == 0) return kind;
  }
  return 3;
}

long TrailingNumber(const std::string& name) {
  std::size_t start = name.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1])) != 0) --start;
  if (start == name.size() || name.size() - start > 9) return -1;
  return std::stol(name.substr(start));
}

bool ParseFieldInteger(const QString& text, std::int32_t& value) {
  static const QRegularExpression kInteger(QStringLiteral("^[+-]?[0-9]{1,10}$"));
  const QString trimmed = text.trimmed();
  if (!kInteger.match(trimmed).hasMatch()) return false;
  bool ok = false;
  const qlonglong number = trimmed.toLongLong(&ok);
  if (!ok || number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  value = static_cast<std::int32_t>(number);
  return true;
}

QString PortNameOf(const QComboBox& combo, int index) {
  const QVariant data = combo.itemData(index);
  if (data.typeId() == QMetaType::Int) return QStringLiteral("COM%1").arg(data.toInt());
  return data.toString();
}

}  // namespace

std::vector<std::string> FindSerialDevices(const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, std::string>> found;  // name for sorting, path
  std::error_code error;
  for (fs::directory_iterator it(devRoot, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (KindOf(name) < 3) found.emplace_back(name, it->path().string());
  }
  std::vector<std::string> byId;
  error.clear();
  for (fs::directory_iterator it(fs::path(devRoot) / "serial" / "by-id", error), end; !error && it != end;
       it.increment(error)) {
    const std::string path = it->path().string();
    if (path.size() <= static_cast<std::size_t>(kMaxSettingText)) byId.push_back(path);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::make_tuple(KindOf(a.first), TrailingNumber(a.first), a.first) <
           std::make_tuple(KindOf(b.first), TrailingNumber(b.first), b.first);
  });
  std::sort(byId.begin(), byId.end());
  std::vector<std::string> devices;
  for (auto& [name, path] : found) devices.push_back(std::move(path));
  for (auto& path : byId) devices.push_back(std::move(path));
  return devices;
}

CSetupDlg::CSetupDlg(QWidget* parent, std::vector<std::string> serialDevices)
    : QDialog(parent), serialDevices_(std::move(serialDevices)) {
  ApplyDialogLook(*this);
  setWindowTitle(QStringLiteral("Setup Communications"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  // Controls in tab order, placed in dialog units.
  const auto place = [this](QWidget* widget, int x, int y, int width, int height, bool fitHeight = true) {
    QRect rect = DialogRect(*this, x, y, width, height);
    if (fitHeight) rect.setHeight(std::max(rect.height(), widget->sizeHint().height()));
    widget->setGeometry(rect);
  };
  const auto label = [this, &place](const char* text, int x, int y, int width, int height) {
    auto* widget = new QLabel(QString::fromUtf8(text), this);
    widget->setWordWrap(true);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(widget, x, y, width, height, false);
  };
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  place(ok_, 42, 159, 50, 14);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  place(cancel_, 127, 159, 50, 14);
  m_comboPort = new QComboBox(this);
  m_comboPort->setEditable(true);
  m_comboPort->setInsertPolicy(QComboBox::NoInsert);
  m_comboPort->lineEdit()->setMaxLength(kMaxSettingText);
  place(m_comboPort, 157, 23, 71, 12);
  stopOnErrors_ = new QCheckBox(QStringLiteral("Stop On Errors"), this);
  place(stopOnErrors_, 159, 41, 67, 10);
  label("Select the serial communications port that you want to use.", 83, 18, 68, 35);
  serial_ = new QCheckBox(QStringLiteral("Serial Port"), this);
  place(serial_, 16, 18, 61, 10);
  ethernet_ = new QCheckBox(QStringLiteral("Ethernet"), this);
  place(ethernet_, 13, 71, 61, 10);
  ipAddress_ = new QLineEdit(this);
  ipAddress_->setMaxLength(kMaxSettingText);
  place(ipAddress_, 159, 70, 70, 13);
  label("IP Address of radio", 77, 71, 70, 12);
  label("UDP port of radio", 78, 100, 70, 12);
  udpPort_ = new QLineEdit(this);
  place(udpPort_, 159, 100, 70, 13);
  label("Passcode of radio", 76, 134, 70, 12);
  passcode_ = new QLineEdit(this);
  place(passcode_, 158, 131, 70, 13);
  label("Example: 192.168.1.10", 159, 84, 80, 12);
  label("Example: 49220", 159, 116, 80, 12);
  label("Example: 40817", 159, 145, 80, 12);
  setFixedSize(DialogRect(*this, 0, 0, 246, 180).size().expandedTo(QSize(passcode_->geometry().right() + 8,
                                                                          ok_->geometry().bottom() + 8)));

  connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(serial_, &QCheckBox::clicked, this, [this] { OnSerialClicked(); });
  connect(ethernet_, &QCheckBox::clicked, this, [this] { OnEthernetClicked(); });
}

int CSetupDlg::DoModal() {
  OnInitDialog();
  return exec();
}

void CSetupDlg::OnInitDialog() {
  DoDataExchange(false, false);
  m_comboPort->clear();
  for (int number = 1; number <= kComPorts; ++number) m_comboPort->addItem(QStringLiteral("COM%1").arg(number), number);
  // Beyond the classic fifteen: the serial devices this machine has.
  for (const std::string& device : serialDevices_) {
    const QString path = QString::fromStdString(device);
    m_comboPort->addItem(path, path);
  }
  m_comboPort->view()->setMinimumWidth(m_comboPort->view()->sizeHintForColumn(0) + 24);

  const QString stored = QString::fromStdString(m_strComPort);
  int index = stored.isEmpty() ? 0 : -1;
  for (int i = 0; index < 0 && i < m_comboPort->count(); ++i) {
    if (m_comboPort->itemText(i).startsWith(stored, Qt::CaseInsensitive)) index = i;
  }
  if (index >= 0) {
    m_comboPort->setCurrentIndex(index);
  } else {
    // A name that begins no item stays in the field as it was stored, so OK keeps it.
    m_comboPort->setCurrentIndex(-1);
    m_comboPort->setEditText(stored);
  }

  m_bStopOnErrors = 1;
  DoDataExchange(false, false);
}

bool CSetupDlg::DoDataExchange(bool saveAndValidate, bool report) {
  if (!saveAndValidate) {
    stopOnErrors_->setChecked(m_bStopOnErrors != 0);
    ipAddress_->setText(QString::fromStdString(m_strIpAddress));
    ethernet_->setChecked(m_bEthernet != 0);
    udpPort_->setText(QString::number(m_nUdpPort));
    passcode_->setText(QString::number(m_nPasscode));
    serial_->setChecked(m_bSerial != 0);
    return true;
  }
  m_bStopOnErrors = stopOnErrors_->isChecked() ? 1 : 0;
  m_strIpAddress = ipAddress_->text().toStdString();
  m_bEthernet = ethernet_->isChecked() ? 1 : 0;
  if (!ReadRangedInteger(udpPort_, m_nUdpPort, QStringLiteral("The UDP port of the radio"), report)) return false;
  if (!ReadRangedInteger(passcode_, m_nPasscode, QStringLiteral("The passcode of the radio"), report)) return false;
  m_bSerial = serial_->isChecked() ? 1 : 0;
  return true;
}

bool CSetupDlg::ReadRangedInteger(QLineEdit* edit, std::int32_t& value, const QString& what, bool report) {
  std::int32_t read = 0;
  if (ParseFieldInteger(edit->text(), read) && read >= 0 && read <= kMaxField) {
    value = read;
    return true;
  }
  // A refused entry leaves the value as it was.
  if (report) {
    ShowMessageBox(this, what + QStringLiteral(" must be a whole number from 0 to 65535.\n\"") + edit->text() +
                             QStringLiteral("\" is not."));
    edit->setFocus();
    edit->selectAll();
  }
  return false;
}

void CSetupDlg::OnSerialClicked() {
  m_bSerial = 1;
  m_bEthernet = 0;
  DoDataExchange(false, false);
}

void CSetupDlg::OnEthernetClicked() {
  m_bSerial = 0;
  m_bEthernet = 1;
  DoDataExchange(false, false);
}

std::string CSetupDlg::ChosenPortName() const {
  const QString text = m_comboPort->currentText();
  const int index = m_comboPort->currentIndex();
  if (index >= 0 && m_comboPort->itemText(index) == text) return PortNameOf(*m_comboPort, index).toStdString();
  const QString typed = text.trimmed();
  if (typed.isEmpty()) return m_strComPort;  // nothing chosen, nothing typed: the port stays
  // A typed name of a listed port, in any case, is that port.
  const int listed = m_comboPort->findText(typed, Qt::MatchFixedString);
  if (listed >= 0) return PortNameOf(*m_comboPort, listed).toStdString();
  return typed.toStdString();
}

void CSetupDlg::OnOK() {
  // The values read before a refused field are kept, as is the port name.
  DoDataExchange(true, false);
  m_strComPort = ChosenPortName();
  if (!DoDataExchange(true, true)) return;
  accept();
}

void RunSetupCommand(QWidget* parent, CommSettings& settings, int& ignoreErrors) {
  CSetupDlg dialog(parent);
  dialog.m_strComPort = settings.ComPort;
  dialog.m_bSerial = settings.SerialActive;
  dialog.m_bEthernet = settings.EthernetActive;
  dialog.m_nUdpPort = settings.UdpPort;
  dialog.m_nPasscode = settings.Passcode;
  dialog.m_strIpAddress = settings.IpAddress;
  if (dialog.DoModal() == QDialog::Accepted) ignoreErrors = dialog.m_bStopOnErrors != 0 ? 0 : 1;
  settings.ComPort = dialog.m_strComPort;
  settings.Passcode = dialog.m_nPasscode;
  settings.IpAddress = dialog.m_strIpAddress;
  settings.UdpPort = dialog.m_nUdpPort;
  settings.SerialActive = dialog.m_bSerial != 0 ? 1 : 0;
  settings.EthernetActive = dialog.m_bEthernet != 0 ? 1 : 0;
}

}  // namespace flash::ui
