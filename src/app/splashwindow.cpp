#include "app/splashwindow.h"

#include "ui/windowsupport.h"
#include "ui_splashwindow.h"

namespace varnel {

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_ui(std::make_unique<Ui::TForm_Welcome>())
{
    m_ui->setupUi(this);
    fitPicture(*m_ui->ImageProgram);
    fitPicture(*m_ui->ImagePicture);
    centerOnScreen(*this);
}

SplashWindow::~SplashWindow() = default;

} // namespace varnel
