#include "app/form_welcome.h"

#include "ui/windowsupport.h"
#include "ui_form_welcome.h"

namespace varnel {

TForm_Welcome::TForm_Welcome(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_ui(std::make_unique<Ui::TForm_Welcome>())
{
    m_ui->setupUi(this);
    fitPicture(*m_ui->ImageProgram);
    fitPicture(*m_ui->ImagePicture);
    centerOnScreen(*this);
}

TForm_Welcome::~TForm_Welcome() = default;

} // namespace varnel
