#include "app/startup.h"
#include "common/testsupport.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace varnel;
using namespace varnel::test;

// Qt's buttons and file dialog speak Russian however the installation lays out Qt's catalogues:
// a Linux distribution's qtbase_ru.qm (with qt_ru.qm naming the modules), windeployqt's merged
// qt_ru.qm alone, in the first folder or the one beside the executable.
TEST(QtTexts, RussianButtonsAndSaveDialogFromEitherDeployment)
{
    const QString system = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(system + QStringLiteral("/qtbase_ru.qm")))
        GTEST_SKIP() << "no qtbase_ru.qm in " << system.toStdString()
                     << " (Debian: qt6-translations-l10n, which scripts/install-deps installs)";
    const TempFolder folder;
    // Each file put into a folder: its name there and the system's file it is a copy of. The
    // merged catalogue of windeployqt holds qtbase's texts under the name qt_ru.qm.
    const struct {
        const char* what;
        std::vector<std::pair<QString, QString>> first, second;
        bool russian;
    } cases[] = {
        {"Linux: qtbase alone", {{"qtbase_ru.qm", "qtbase_ru.qm"}}, {}, true},
        {"Linux: the catalogue naming the modules, and qtbase",
         {{"qt_ru.qm", "qt_ru.qm"}, {"qtbase_ru.qm", "qtbase_ru.qm"}},
         {},
         true},
        {"Windows: the merged catalogue alone", {{"qt_ru.qm", "qtbase_ru.qm"}}, {}, true},
        {"Windows: beside the executable", {}, {{"qt_ru.qm", "qtbase_ru.qm"}}, true},
        {"none", {}, {}, false},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString first = folder.path(QStringLiteral("first%1").arg(index));
        const QString second = folder.path(QStringLiteral("second%1").arg(index++));
        for (const auto& [dir, files] : {std::pair{first, c.first}, std::pair{second, c.second}}) {
            QDir().mkpath(dir);
            for (const auto& [name, source] : files)
                ASSERT_TRUE(QFile::copy(system + u'/' + source, dir + u'/' + name));
        }
        QTranslator translator;
        EXPECT_EQ(
            loadQtTexts(translator, QLocale(QLocale::Russian, QLocale::Russia), {first, second}),
            c.russian);
        EXPECT_EQ(translator.translate("QPlatformTheme", "&Yes"),
                  c.russian ? QStringLiteral("&Да") : QString());
        EXPECT_EQ(translator.translate("QFileDialog", "Save As"),
                  c.russian ? QStringLiteral("Сохранить как") : QString());
    }
}
