#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm_About;
}

namespace varnel {

// The About window: a fixed-size modal dialog centred on the screen, closed by its "OK"
// button. Its link label Label2 holds the maker's full web address as its tooltip.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the address held as Label2's tooltip with the desktop's handler for it; a failure
    // to open is not reported.
    void openMakerAddress();

    std::unique_ptr<Ui::TForm_About> m_ui;
};

} // namespace varnel
