// The library's face in a Qt Widgets process: the save-progress window, the
// message boxes and the message pump.
#pragma once

#include "core/ui.h"

#include <cstdint>
#include <memory>
#include <string>

class QWidget;

namespace ovin {

class TProgress;

class QtUi final : public Ui {
public:
    // window: the native id of the caller's top-level window, the owner of
    // every window and message box shown here. Needs a QApplication.
    explicit QtUi(uintptr_t window);
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

    void progressShow(const std::string& pdfname, int32_t pagecount) override;
    void progressStatus(const std::string& text) override;
    void progressStep() override;
    void progressFinish(const std::string& text) override;
    void progressClose() override;
    void processMessages() override;
    bool cancelled() const override;
    void message(const std::string& text) override;

    // The progress window itself, created hidden with this object and kept
    // for its lifetime.
    TProgress& progressWindow() { return *progress_; }

private:
    // The caller's window as it exists now; null when it is gone or was
    // never a Qt window of this process.
    QWidget* owner() const;
    // Widgets may only be touched from the application's own thread; a
    // call from any other thread is left without effect.
    bool onGuiThread() const;

    uintptr_t window_;
    std::unique_ptr<TProgress> progress_;
};

// The Qt face when the process has a QApplication and the caller named a
// window; null otherwise, and the caller then runs headless.
std::unique_ptr<Ui> makeQtUi(uintptr_t window);

} // namespace ovin
