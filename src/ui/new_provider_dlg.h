// "New Provider": one field for a provider address (at most 256
// characters). OK accepts what the shared address check accepts, once the
// text is completed ("http://" in front of an address without a scheme,
// "/" after a bare server; app/address_check.h); every other text is
// refused with a stop box and the dialog stays open with the text as typed.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class CNewProviderDlg;
}

namespace gantrell::ui {

class CNewProviderDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxAddressLength = 256;

  explicit CNewProviderDlg(QWidget* parent = nullptr);
  ~CNewProviderDlg() override;

  // After OK: the accepted address.
  std::string Address() const { return m_strAddress; }

  // OK: checks the field; closes only when it holds an acceptable address.
  void accept() override;

 private:
  std::unique_ptr<Ui::CNewProviderDlg> m_ui;
  std::string m_strAddress;
};

}  // namespace gantrell::ui
