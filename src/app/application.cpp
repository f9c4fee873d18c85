#include "application.h"

#include "db/datamodulebase.h"

#include <QApplication>
#include <QWidget>

namespace varnel {

int runApplication(int& argc, char** argv)
{
    QApplication app(argc, argv);
    TDataModuleBase dataModule;
    // The login dialog and the main window take this place; until then the frame is empty.
    QWidget frame;
    frame.setWindowTitle(QStringLiteral("Varnel"));
    frame.resize(1263, 640);
    frame.show();
    return app.exec();
}

} // namespace varnel
