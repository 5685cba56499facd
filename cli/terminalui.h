// The command-line tool's face of the library: a progress bar on standard
// error when it is a terminal, messages as lines on standard error, and a
// stop signal (Ctrl-C, SIGTERM, SIGHUP) as the Cancel button.
#pragma once

#include "stopsignals.h"
#include "ui.h"

namespace ovincli {

class TerminalUi final : public ovin::Ui {
public:
    TerminalUi(bool quiet, const stopsignals& stops);
    TerminalUi(const TerminalUi&) = delete;
    TerminalUi& operator=(const TerminalUi&) = delete;

    void progressShow(const std::string& pdfname, int32_t pagecount) override;
    void progressStatus(const std::string& text) override;
    void progressStep() override;
    void progressFinish(const std::string& text) override;
    void progressClose() override;
    void processMessages() override {}
    bool cancelled() const override;
    void message(const std::string& text) override;

private:
    void draw();

    const stopsignals& stops_;
    bool bar_;
    int32_t total_ = 0;
    int32_t done_ = 0;
    std::string status_;
};

} // namespace ovincli
