// The program-wide log engine and its log files.
//
// Every subsystem reports through LogEngine(): AddMessage, AddError, AddWarning and AddHint write
// to the engine's DefaultLogFile. A log file counts each message by kind, cuts long messages,
// drops kinds above its detail level, collapses consecutive identical messages into one repeat
// line, and writes every line with the file opened and closed around it, so the log survives a
// crash. A file gets its header when its first line is written and its footer, with the
// counters, when the program ends.
//
// A line that cannot be written (folder missing or not writable, disk full, file locked) never
// ends the program: the line is dropped, one notice for that file goes to standard error, and
// the next message tries again.
//
// All logging happens on the program's one thread; nothing here is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sysinfo/sysinfo.h"

namespace hv {

// Kind of a log message; the number is compared with a file's detail level.
enum TLogMessageKind : uint8_t {
    lmMessage = 0,  // plain message: passes at every detail level, counted nowhere
    lmError = 1,
    lmWarning = 2,
    lmHint = 3,  // the program's trace of what it is doing
};

// A named value a template can refer to as "%Name;".
struct TConstant {
    std::string Name;
    std::string Value;
};
using TConstants = std::vector<TConstant>;

// The last message written to a file, and how many identical ones arrived after it.
struct TLastMessage {
    std::string Text;
    uint8_t MessageType = lmMessage;
    int32_t Count = 0;
};

// Where log time comes from. Ticks: milliseconds, wrapping at 2^32 (elapsed time is the unsigned
// 32-bit difference). Now: the local wall-clock time for "DateTime". Both default to the system.
struct TLogClock {
    std::function<uint32_t()> Ticks;
    std::function<LocalTime()> Now;
    static TLogClock System();
};

class TKavLogEngine;

// Formats a date and time: "dddd" full and "ddd" short weekday name, "d"/"dd" day, "mmmm" full
// and "mmm" short month name, "m"/"mm" month (minutes right after an hour), "yyyy"/"yy" year,
// "h"/"hh" hour 0..23, "n"/"nn" minutes, "s"/"ss" seconds, "z"/"zzz" milliseconds; letters in
// either case; text in '...' or "..." and every other character copied. Names follow the user's
// time locale.
std::string FormatLogDateTime(std::string_view format, const LocalTime& t);
// An elapsed time as a calendar value counted from 30 Dec 1899 00:00 (day 0), so that its time
// of day shows the elapsed hours modulo 24.
LocalTime ElapsedAsDateTime(uint32_t milliseconds);

// Characters of log text: a valid UTF-8 sequence is one character, any other byte is one.
size_t LogTextLength(std::string_view text);
// The first `count` characters of `text`.
std::string_view LogTextPrefix(std::string_view text, size_t count);

// One log file: its place, counters, detail level, last message and its three templates.
// Created by TKavLogEngine::AddLogFile and owned by the engine; nothing touches the disk until
// a line or the footer is written.
class TLogFile {
public:
    // `path` is a host path (backslashes or "/"); it is split into FilePath and FileName.
    explicit TLogFile(const std::string& path);

    std::string HeaderTemplate;
    int32_t ErrorsCount = 0;
    std::string FooterTemplate;
    bool Opened = false;  // the file exists on disk and carries this run's header
    TKavLogEngine* Engine = nullptr;
    std::string FileName;  // bare name: the key by which the engine finds the file
    std::string FilePath;  // folder with its trailing separator, or empty
    int32_t HintsCount = 0;
    std::string DateFormat = "dddd  d-mmm-yyyy  hh:nn:ss";
    std::string TimeFormat = "hh:nn:ss:zzz";
    bool Overwrite = true;         // the first open of this run empties an existing file
    uint8_t DetalizationMode = 3;  // 0..3: kinds with a larger number are dropped
    bool Disabled = false;         // no lines, no footer
    std::string LineTemplate;
    int32_t WarningsCount = 0;
    TLastMessage LastMessage;
    TConstants Constants;
    std::string ErrorMarker = "ERROR !!!";
    std::string WarningMarker = "Warning!";
    std::string HintMarker;
    int32_t MaxMessageLength = 1000;  // in characters
    bool Busy = false;                // a line is being written

    // The message path: count, cut, filter, collapse repeats, write.
    void WriteMessage(const std::string& text, uint8_t kind);
    // For a message that would otherwise come every frame: the first time a text arrives it
    // takes the message path; later arrivals of the same text are only counted, and the
    // footer is preceded by one plain line per such text saying how often it came.
    void WriteMessageOnce(const std::string& text, uint8_t kind);
    // Makes sure the file exists and carries a header. False when that could not be done.
    bool OpenLogFile();
    // Appends one line (CR LF added). False when the line was dropped.
    bool WriteLine(std::string_view text);
    // Writes the pending repeat line, if any; the count stays.
    bool FlushRepeats();
    // The pending repeat line and the footer, for a file that was opened.
    void WriteFooter();

    void AddConstant(const std::string& name, const std::string& value);
    // First constant with exactly this name, or one with empty name and value.
    TConstant FindConstant(std::string_view name) const;
    std::string ExpandTemplate(std::string_view tmpl) const;
    std::string EvaluateConstant(std::string_view name, std::string_view width,
                                 std::string_view extra1, std::string_view extra2) const;
    // Brings `text` to exactly `width` characters: left-aligned keeps the beginning and fills
    // after it, right-aligned keeps the end and fills before it. A width of 0 or less gives "".
    static std::string PadText(std::string_view text, char fill, int width, bool leftAligned);

    // The file as a native path (case-insensitive lookup of existing parts).
    std::string NativeFileName() const;

private:
    bool AppendText(std::string_view text);  // one open-append-flush-close
    bool CreateEmpty();
    void ReportFailure(const char* what);
    bool failureReported_ = false;  // a notice went to standard error since the last success
    // Texts given to WriteMessageOnce, in order of first arrival, with how often each came.
    struct OnceText {
        std::string Text;
        uint8_t Kind;
        int64_t Count;
    };
    std::vector<OnceText> onceTexts_;
    std::unordered_map<std::string, size_t> onceIndex_;
};

using TLogFilesList = std::vector<std::unique_ptr<TLogFile>>;

class TKavLogEngine {
public:
    // The program's engine: default file "Log.txt" in the program's folder, system clock.
    TKavLogEngine();
    // An engine with its own default file (a host path) and clock.
    TKavLogEngine(const std::string& defaultFile, TLogClock clock);
    // Frees the files; writes nothing (CloseLogFiles writes the footers).
    ~TKavLogEngine();
    TKavLogEngine(const TKavLogEngine&) = delete;
    TKavLogEngine& operator=(const TKavLogEngine&) = delete;

    TLogFile* DefaultLogFile = nullptr;  // where AddMessage..AddHint write; null: nowhere
    TLogFilesList LogFiles;              // in registration order
    uint32_t StartTick = 0;              // tick count at creation; "TimeFromStart" counts from it
    std::string Processor, TotalMemory, OS, FreeHDSpace;  // copied into every new file

    // Fills the four system texts. Never fails outwards: a failed step leaves it and the
    // later ones empty.
    void GetSysInfo();

    // Registers a file by host path and returns it. A bare name that is already registered
    // gives a warning on the default file and the existing file (the new path is ignored).
    TLogFile* AddLogFile(const std::string& fileName);
    // The first registered file whose bare name equals `fileName` exactly, or null.
    TLogFile* FindLogFile(const std::string& fileName);
    // Passes the message to the registered file with that bare name; unknown names do nothing.
    void AddMessageToFile(const std::string& text, uint8_t kind, const std::string& fileName);

    void AddMessage(const std::string& text);
    void AddError(const std::string& text);
    void AddWarning(const std::string& text);
    void AddHint(const std::string& text);
    // A warning that a frame would repeat without end (a picture the script draws but that
    // does not exist): written once per text and file, counted after that (WriteMessageOnce).
    void AddWarningOnce(const std::string& text);

    // Writes the footer of every file, in registration order. The program's engine does this
    // by itself once at program end (normal end, Halt, top-level failure); program code does
    // not call it for LogEngine().
    void CloseLogFiles();

    // Milliseconds since StartTick, modulo 2^32.
    uint32_t TimeFromStart() const;
    LocalTime Now() const;

private:
    TLogClock clock_;
};

// The program-wide engine. Created when the program loads (or at first use, whichever comes
// first); its files are closed once at program end, however the program ends.
TKavLogEngine& LogEngine();

}  // namespace hv
