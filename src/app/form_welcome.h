#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TForm_Welcome;
}

namespace varnel {

// The splash window shown while the program starts: frameless, centred on the screen, with
// nothing on it that takes focus or answers a click.
class TForm_Welcome : public QWidget {
    Q_OBJECT

public:
    explicit TForm_Welcome(QWidget* parent = nullptr);
    ~TForm_Welcome() override;

private:
    std::unique_ptr<Ui::TForm_Welcome> m_ui;
};

} // namespace varnel
