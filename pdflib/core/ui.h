// Everything the library shows a person goes through this interface: the
// save-progress window, message boxes and the message pump. The core calls
// it and never knows which implementation it talks to.
#pragma once

#include <cstdint>
#include <string>

namespace ovin {

class Ui {
public:
    virtual ~Ui() = default;

    // Save-progress window. show(): file name label, bar at 0 of pagecount
    // and visible, window shown (hourglass cursor, cancel flag cleared,
    // Cancel button enabled).
    virtual void progressShow(const std::string& pdfname, int32_t pagecount) = 0;
    virtual void progressStatus(const std::string& text) = 0;
    // Steps the bar by one and repaints the window at once.
    virtual void progressStep() = 0;
    // Hides the bar, shows the text in the status line and repaints.
    virtual void progressFinish(const std::string& text) = 0;
    // Closes the window and restores the cursor.
    virtual void progressClose() = 0;
    // Processes all pending window messages; a Cancel click lands here.
    virtual void processMessages() = 0;
    virtual bool cancelled() const = 0;
    // Called every fraction of a second while a page takes long (text
    // recognition), the bar not stepped: the status text shown again and
    // a Cancel taken in.
    virtual void progressWait() { processMessages(); }

    // A modal message box with an OK button.
    virtual void message(const std::string& text) = 0;
};

// No window, never blocks, never cancels; messages reach the caller only
// through result codes and the error detail.
class HeadlessUi : public Ui {
public:
    void progressShow(const std::string&, int32_t) override {}
    void progressStatus(const std::string&) override {}
    void progressStep() override {}
    void progressFinish(const std::string&) override {}
    void progressClose() override {}
    void processMessages() override {}
    bool cancelled() const override { return false; }
    void message(const std::string&) override {}
};

} // namespace ovin
