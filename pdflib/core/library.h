// One instance of the library: the state and every call of the C interface
// as a member. The C exports wrap one process-wide instance; tests and the
// command-line tool create their own.
#pragma once

#include "core/state.h"
#include "core/ui.h"
#include "faces/policy.h"
#include "status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ovin {

inline constexpr const char* kMakerCompany = "Zentro Software";
inline constexpr const char* kMakerTelephone = "+1 555 0100";
inline constexpr const char* kMakerWeb = "www.zentropdf.example";

// The library's name and version, then the maker's name, telephone and web
// address, the lines joined by `separator`.
std::string abouttext(const std::string& separator);

// The temporary image path used when pdfinit gets a blank one.
std::string defaulttempimgpath();
// A temporary image path in the same folder that no other document uses:
// its name ends in random digits.
std::string uniquetempimgpath();

class Library {
public:
    // A library of the classic face, headless.
    Library();
    // With what it shows a person (null: headless) and its face (null:
    // the classic one).
    explicit Library(std::unique_ptr<Ui> ui, std::unique_ptr<facepolicy> face = nullptr);

    // Replaces what the library shows a person (progress window, messages).
    void setui(std::unique_ptr<Ui> ui);
    Ui& ui() { return *ui_; }

    // What the document may do beyond the classic behaviour; takes effect
    // for the files added from now on.
    void setoptions(const documentoptions& options);
    const documentoptions& options() const { return state_.options; }

    void pdfinit(uintptr_t window, std::string_view tempimgpath);
    void settempimg(std::string_view path);
    void setpdfmaker(std::string_view text);
    void setpdftitle(std::string_view text);
    void showversioninfo();
    std::string geterror(int32_t code) const;
    void getwarnings(const std::function<void(const std::string&)>& add) const;
    void pdfclear();
    int32_t pdfaddindex(std::string_view pagename, std::string_view title);
    int32_t pdfaddsubindex(std::string_view parentkey, std::string_view pagename,
                           std::string_view title);
    int32_t pdfaddtext(std::string_view text);
    int32_t pdfaddimage(std::string_view filename);
    // Adds one page (from 1) of an image file, or all its pages for 0.
    int32_t addimagepages(std::string_view filename, uint32_t page);
    int32_t pdfsave(std::string_view filename);
    // Saves into an open file descriptor, as it goes; `name` names it.
    int32_t savetofd(int fd, std::string_view name);

    bool saving() const { return saving_; }

    // The code of the outcome; a failure becomes the latest failure, and
    // its detail in the face's words the error detail that geterror shows.
    int32_t report(const status& outcome);
    const librarystate& state() const { return state_; }
    const facepolicy& face() const { return *face_; }

private:
    int32_t findpage(std::string_view pagename) const;
    int32_t addbookmark(int32_t parent, std::string_view pagename, std::string_view title,
                        int32_t pageindex);
    void appendpage(pageinfo page);

    librarystate state_;
    std::unique_ptr<Ui> ui_;
    std::unique_ptr<facepolicy> face_;
    bool saving_ = false;
};

} // namespace ovin
