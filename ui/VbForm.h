#pragma once

#include <QWidget>

namespace velmora {

struct AppContext;

// Base of every window: the load/unload lifecycle of the original forms. A window is created
// and its Form_Load runs when it is first opened (WindowRegistry); closing it, by code or by
// its close box, runs Form_Unload and destroys it. A disabled window refuses to close.
class VbForm : public QWidget {
    Q_OBJECT
public:
    explicit VbForm(AppContext& context);

    virtual void Form_Load() {}
    virtual void Form_Unload() {}

protected:
    void closeEvent(QCloseEvent* event) override;

    // Windows that hold the main window off while they are open call these from their
    // load and unload.
    void disableMainWindow();
    void enableMainWindow();

    AppContext& m_context;

private:
    bool m_unloaded = false;
};

} // namespace velmora
