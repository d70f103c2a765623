#include "ui/translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace gantrell::ui {
namespace {

constexpr const char* kCatalogueFolder = ":/gantrell/translations";
// The language of the sources' texts.
constexpr const char* kSourceLanguage = "en";

struct Installed {
  std::unique_ptr<QTranslator> own;
  std::unique_ptr<QTranslator> qt;
};

Installed& TheInstalled() {
  static Installed installed;
  return installed;
}

void Remove(std::unique_ptr<QTranslator>& translator) {
  if (translator != nullptr) {
    QCoreApplication::removeTranslator(translator.get());
    translator.reset();
  }
}

// "de-AT" and "de_AT" name the same language; a catalogue may be for the
// region or for the language alone: "de_AT" first, then "de".
QStringList Candidates(QString language) {
  language.replace('-', '_');
  QStringList names{language};
  const qsizetype region = language.indexOf('_');
  if (region > 0)
    names << language.left(region);
  return names;
}

}  // namespace

QString InstallTranslations(const QStringList& languages) {
  Installed& installed = TheInstalled();
  Remove(installed.own);
  Remove(installed.qt);
  for (const QString& language : languages) {
    for (const QString& name : Candidates(language)) {
      // The sources' language: a user who prefers English to a language
      // with a catalogue gets English.
      if (name.compare(QLatin1String(kSourceLanguage), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(kSourceLanguage);
      const QString file = QStringLiteral("gantrell_") + name;
      if (!QFile::exists(QString::fromLatin1(kCatalogueFolder) + '/' + file + ".qm"))
        continue;
      auto own = std::make_unique<QTranslator>();
      if (!own->load(file, QString::fromLatin1(kCatalogueFolder)))
        continue;
      QCoreApplication::installTranslator(own.get());
      installed.own = std::move(own);
      // Qt's own texts (the file dialog, a box's standard buttons) in the
      // same language, when Qt's translations are installed.
      auto qt = std::make_unique<QTranslator>();
      if (qt->load(QStringLiteral("qtbase_") + name,
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        installed.qt = std::move(qt);
      }
      return name;
    }
  }
  return QString::fromLatin1(kSourceLanguage);
}

}  // namespace gantrell::ui
