// The plain text file a game script writes its own notes to: bound and emptied once, then one
// line appended per call, each with the file opened and closed around it. It does not go
// through the log engine: no header, no templates, no counters.
//
// A file that cannot be created or appended to never ends the game: the call returns false, the
// text is dropped and one notice goes to standard error until a write succeeds again.
#pragma once

#include <string>

namespace hv {

class TScriptLogFile {
public:
    // Binds the file to `folder` + `name` (host paths; `folder` ends in a separator or is
    // empty) and creates it empty, replacing an existing file.
    bool Init(const std::string& folder, const std::string& name);
    // Appends `text` and CR LF. False when the file is not bound or cannot be written.
    bool Write(const std::string& text);

    bool Bound() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }  // host path; empty until bound

private:
    bool Failed(const char* what);
    std::string path_;
    bool failureReported_ = false;
};

}  // namespace hv
