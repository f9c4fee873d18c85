#include "app/aboutdialog.h"

#include "ui/windowsupport.h"
#include "ui_aboutdialog.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace varnel {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_ui(std::make_unique<Ui::TForm_About>())
{
    m_ui->setupUi(this);
    fitPicture(*m_ui->ProgramIcon);
    fitPicture(*m_ui->ImagePicture);
    centerOnScreen(*this);
    takeWheelAsArrows(*this);
    connect(m_ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    // A label has no click signal: the dialog watches the link label's mouse itself.
    m_ui->Label2->installEventFilter(this);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::openMakerAddress()
{
    QDesktopServices::openUrl(QUrl(m_ui->Label2->toolTip()));
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A click is a left release over the label after a press on it, as with a button: a press
    // dragged off the label opens nothing.
    if (watched == m_ui->Label2 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_ui->Label2->rect().contains(mouse->position().toPoint())) {
            openMakerAddress();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace varnel
