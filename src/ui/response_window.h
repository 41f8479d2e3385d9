#pragma once

#include <functional>

#include <QWidget>

namespace puolukka {

// The window Gresponse ("Response"): the decoded description of an
// elementary file, one caption and one value label a row. Not modal; its "OK"
// button reports to the OK handler, which closes it.
class ResponseWindow : public QWidget {
    Q_OBJECT

public:
    explicit ResponseWindow(QWidget* parent = nullptr);
    void setOkHandler(std::function<void()> handler) { m_okHandler = std::move(handler); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<void()> m_okHandler;
    bool m_placed = false;
};

}  // namespace puolukka
