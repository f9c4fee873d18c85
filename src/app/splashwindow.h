#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TForm_Welcome;
}

namespace varnel {

// The splash window shown while the program starts: frameless, centred on the screen, with
// nothing on it that takes focus or answers a click.
class SplashWindow : public QWidget {
    Q_OBJECT

public:
    explicit SplashWindow(QWidget* parent = nullptr);
    ~SplashWindow() override;

private:
    std::unique_ptr<Ui::TForm_Welcome> m_ui;
};

} // namespace varnel
