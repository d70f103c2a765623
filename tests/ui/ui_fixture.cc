#include "ui_fixture.h"

#include <QEvent>

namespace gantrell::ui::testing {

UiFixture::UiFixture() : m_runtimeEnv("XDG_RUNTIME_DIR", m_runtime.path().c_str()) {
  UserPrompts::SetAutomaticAnswers(true);
  UserPrompts::Reset();
  m_app.SetFrontend(&m_frontend);
  m_app.SetUpBuiltInProviders();
  m_app.m_strDataPath = m_downloads.path();
  m_app.profile().WriteProfileString(kSettingsSection, "dlpath", m_downloads.path(), nullptr);
}

UiFixture::~UiFixture() {
  UserPrompts::SetShownHook(nullptr);
  UserPrompts::Reset();
}

bool UiFixture::Register(TestSite& site) {
  UserPrompts::SetNextAnswer(MessageAnswer::kOk);
  m_app.RegisterProvider(site.address());
  const QStringList texts = TakeTexts();
  return texts ==
         QStringList{QString::fromStdString("New Provider successfully set up: " + site.name())};
}

QStringList UiFixture::TakeTexts() {
  QStringList texts;
  for (const UserPrompts::Shown& shown : UserPrompts::TakeShown())
    texts.append(shown.text);
  return texts;
}

DialogLog::DialogLog() {
  QApplication::instance()->installEventFilter(this);
}

DialogLog::~DialogLog() {
  QApplication::instance()->removeEventFilter(this);
}

bool DialogLog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && qobject_cast<QDialog*>(watched) != nullptr)
    shown.append(watched->metaObject()->className());
  return false;
}

}  // namespace gantrell::ui::testing
