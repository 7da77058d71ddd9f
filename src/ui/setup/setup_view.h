// The settings dialog's controls as its logic sees them. The Qt dialog implements this;
// tests use a fake.
#pragma once

#include <string>

namespace quorvix {

class SetupView {
 public:
  virtual ~SetupView() = default;

  virtual std::string DomainText() const = 0;  // strDomain
  virtual void SetDomainText(const std::string& text) = 0;
  virtual std::string PasswordText() const = 0;  // Password
  virtual void SetPasswordText(const std::string& text) = 0;
  virtual void FocusDomain() = 0;
  virtual void FocusPassword() = 0;

  // domainList: a single-selection list box; -1 when nothing is selected.
  virtual int ItemCount() const = 0;
  virtual std::string ItemText(int index) const = 0;
  virtual int SelectedIndex() const = 0;
  virtual void AddItem(const std::string& text) = 0;
  virtual void RemoveItem(int index) = 0;

  // The three option boxes; setting one from code may raise its click, as the user's would.
  virtual void SetOptions(bool autoRun, bool mx, bool logVerbose) = 0;
  virtual bool AutoRunChecked() const = 0;
  virtual bool MXChecked() const = 0;
  virtual bool LogVerboseChecked() const = 0;

  // Closes the dialog; its unload follows.
  virtual void CloseDialog() = 0;
};

}  // namespace quorvix
