// The accessibility walk of the dialog suites: every widget of a dialog,
// as a keyboard and screen-reader user meets it. Shared by the
// accessibility suite (in English) and the translation suite (in German,
// whose texts bring mnemonics of their own).
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>
#include <map>

namespace gantrell::ui_test {

// Widgets a user reaches with Tab or acts on; the parts Qt builds inside
// a combo box, a spin box or a view (its header, its scroll bars) belong
// to their owner.
inline bool Interactive(const QWidget* widget) {
  for (const QObject* up = widget->parent(); up != nullptr; up = up->parent()) {
    if (qobject_cast<const QComboBox*>(up) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(up) != nullptr ||
        qobject_cast<const QAbstractItemView*>(up) != nullptr)
      return false;
  }
  if (qobject_cast<const QScrollBar*>(widget) != nullptr)
    return false;
  if (qobject_cast<const QAbstractButton*>(widget) != nullptr ||
      qobject_cast<const QLineEdit*>(widget) != nullptr ||
      qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
      qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
      qobject_cast<const QComboBox*>(widget) != nullptr ||
      qobject_cast<const QProgressBar*>(widget) != nullptr)
    return true;
  return (widget->focusPolicy() & Qt::TabFocus) != 0;
}

inline QString Stripped(QString text) {
  return text.remove('&');
}

// The label whose buddy `widget` is, if any.
inline const QLabel* LabelOf(const QWidget& dialog, const QWidget* widget) {
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->buddy() == widget && !Stripped(label->text()).isEmpty())
      return label;
  }
  return nullptr;
}

// What is wrong with the dialog's widgets, one line each.
inline QStringList Problems(const QString& title, QWidget& dialog) {
  QStringList problems;
  std::map<QString, QStringList> by_mnemonic;
  const auto note_mnemonic = [&](const QWidget* widget, const QString& text) {
    const QKeySequence mnemonic = QKeySequence::mnemonic(text);
    if (mnemonic.isEmpty()) {
      problems << title + ": " + widget->objectName() + " \"" + text + "\" has no mnemonic";
      return;
    }
    by_mnemonic[mnemonic.toString()] << widget->objectName();
  };

  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&dialog))
      continue;
    if (const auto* label = qobject_cast<QLabel*>(widget)) {
      const QWidget* buddy = label->buddy();
      if (buddy != nullptr && (buddy->focusPolicy() & Qt::TabFocus) != 0)
        note_mnemonic(label, label->text());
      continue;
    }
    if (!Interactive(widget))
      continue;
    const auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button != nullptr && !button->text().isEmpty())
      note_mnemonic(button, button->text());
    const bool named = !widget->accessibleName().isEmpty() || LabelOf(dialog, widget) != nullptr ||
                       (button != nullptr && !Stripped(button->text()).isEmpty());
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    const QString read_out = face != nullptr ? face->text(QAccessible::Name) : QString();
    if (!named || read_out.isEmpty()) {
      problems << title + ": " + widget->metaObject()->className() + " " + widget->objectName() +
                      " has no accessible name";
    }
  }
  for (const auto& [key, owners] : by_mnemonic) {
    if (owners.size() > 1)
      problems << title + ": mnemonic " + key + " on " + owners.join(", ");
  }
  return problems;
}

}  // namespace gantrell::ui_test
