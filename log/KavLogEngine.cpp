#include "log/KavLogEngine.h"
#include "platform/text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "log/CPUInfo.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/halt.h"
#include "platform/system.h"

namespace hv {
namespace {

constexpr const char* kCrLf = "\r\n";

// A placeholder's width is capped so that a message cannot make a line of unbounded size
// ("%ErrorsCount|2000000000;" inside a message text).
constexpr int kMaxFieldWidth = 1000;

// Width field: a decimal integer, capped; anything else counts as no width.
std::optional<int> ParseWidth(std::string_view field) {
    if (field.empty()) return std::nullopt;
    int32_t w = 0;
    if (!TryStrToInt(field, w)) return std::nullopt;
    return w > kMaxFieldWidth ? kMaxFieldWidth : int(w);
}

std::string Digits(int value, int width) {
    std::string s = std::to_string(value);
    while (int(s.size()) < width) s.insert(s.begin(), '0');
    return s;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

size_t LogTextLength(std::string_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); i = NextCharacter(text, i)) ++n;
    return n;
}

std::string_view LogTextPrefix(std::string_view text, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count && i < text.size(); ++n) i = NextCharacter(text, i);
    return text.substr(0, i);
}

LocalTime ElapsedAsDateTime(uint32_t milliseconds) {
    LocalTime t;
    const int64_t days = milliseconds / 86400000u;
    uint32_t rest = milliseconds % 86400000u;
    // Day 0 is 30 Dec 1899, 25569 days before 1 Jan 1970 (a Thursday).
    const int64_t unixDays = days - 25569;
    CivilFromDays(unixDays, t.Year, t.Month, t.Day);
    t.DayOfWeek = int(((unixDays % 7) + 7 + 4) % 7);
    t.Hour = int(rest / 3600000u);
    rest %= 3600000u;
    t.Minute = int(rest / 60000u);
    rest %= 60000u;
    t.Second = int(rest / 1000u);
    t.Millisecond = int(rest % 1000u);
    return t;
}

std::string FormatLogDateTime(std::string_view f, const LocalTime& t) {
    std::string out;
    bool afterHour = false;  // an "m" right after an hour means minutes
    size_t i = 0;
    auto run = [&](char c, size_t max) {
        size_t n = 0;
        while (i + n < f.size() && n < max &&
               std::tolower(static_cast<unsigned char>(f[i + n])) == c)
            ++n;
        return n;
    };
    while (i < f.size()) {
        char c = char(std::tolower(static_cast<unsigned char>(f[i])));
        size_t n;
        switch (c) {
            case 'd':
                n = run('d', 4);
                if (n == 1) out += std::to_string(t.Day);
                if (n == 2) out += Digits(t.Day, 2);
                if (n == 3) out += LocaleDayName(t.DayOfWeek, true);
                if (n == 4) out += LocaleDayName(t.DayOfWeek, false);
                afterHour = false;
                break;
            case 'm':
                if (afterHour) {
                    n = run('m', 2);
                    out += n == 1 ? std::to_string(t.Minute) : Digits(t.Minute, 2);
                } else {
                    n = run('m', 4);
                    if (n == 1) out += std::to_string(t.Month);
                    if (n == 2) out += Digits(t.Month, 2);
                    if (n == 3) out += LocaleMonthName(t.Month, true);
                    if (n == 4) out += LocaleMonthName(t.Month, false);
                }
                afterHour = false;
                break;
            case 'y':
                n = run('y', 4);
                out += n <= 2 ? Digits(t.Year % 100, 2) : Digits(t.Year, 4);
                afterHour = false;
                break;
            case 'h':
                n = run('h', 2);
                out += n == 1 ? std::to_string(t.Hour) : Digits(t.Hour, 2);
                afterHour = true;
                break;
            case 'n':
                n = run('n', 2);
                out += n == 1 ? std::to_string(t.Minute) : Digits(t.Minute, 2);
                afterHour = false;
                break;
            case 's':
                n = run('s', 2);
                out += n == 1 ? std::to_string(t.Second) : Digits(t.Second, 2);
                afterHour = false;
                break;
            case 'z':
                n = run('z', 3);
                if (n == 3) {
                    out += Digits(t.Millisecond, 3);
                } else {
                    n = 1;
                    out += std::to_string(t.Millisecond);
                }
                afterHour = false;
                break;
            case '"':
            case '\'': {
                size_t close = f.find(f[i], i + 1);
                if (close == std::string_view::npos) close = f.size();
                out += f.substr(i + 1, close - i - 1);
                n = close < f.size() ? close - i + 1 : close - i;
                break;
            }
            default:
                out += f[i];
                n = 1;
                break;
        }
        i += n;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

TLogClock TLogClock::System() {
    return TLogClock{[] { return GetTickCount(); }, [] { return LocalNow(); }};
}

TLogFile::TLogFile(const std::string& path) {
    size_t sep = path.find_last_of("\\/");
    if (sep == std::string::npos) {
        FileName = path;
    } else {
        FilePath = path.substr(0, sep + 1);
        FileName = path.substr(sep + 1);
    }
    const std::string rule80(80, '=');
    const std::string dash80(80, '-');
    const std::string blank80(80, ' ');
    HeaderTemplate = rule80 + kCrLf + "Log: %LogVersion|5;%DetalizationMode|25|[|];%DateTime|45;" +
                     kCrLf + kCrLf + "System Information:" + kCrLf +
                     "  Processor     : %Processor;" + kCrLf + "  Total Memory  : %TotalMemory;" +
                     kCrLf + "  Free HD Space : %FreeHDSpace;" + kCrLf + "  OS            : %OS;" +
                     kCrLf + dash80;
    FooterTemplate = dash80 + kCrLf +
                     "[ Errors : %ErrorsCount; ,  Warnings : %WarningsCount; ,  Hints : "
                     "%HintsCount; ]" +
                     kCrLf + blank80 + kCrLf + blank80 + kCrLf + blank80;
    LineTemplate = "(%TimeFromStart||hh:nn:ss:zzz;) %MessagesCount||*;%MessageType||.; ";
}

std::string TLogFile::NativeFileName() const {
    return ResolvePath(FilePath + FileName);
}

void TLogFile::AddConstant(const std::string& name, const std::string& value) {
    Constants.push_back(TConstant{name, value});
}

TConstant TLogFile::FindConstant(std::string_view name) const {
    for (const auto& c : Constants) {
        if (c.Name == name) return c;
    }
    return TConstant{};
}

std::string TLogFile::PadText(std::string_view text, char fill, int width, bool leftAligned) {
    if (width <= 0) return std::string();
    const size_t w = size_t(width);
    const size_t n = LogTextLength(text);
    if (leftAligned) {
        if (n >= w) return std::string(LogTextPrefix(text, w));
        return std::string(text) + std::string(w - n, fill);
    }
    if (n >= w) {
        std::string_view skip = LogTextPrefix(text, n - w);
        return std::string(text.substr(skip.size()));
    }
    return std::string(w - n, fill) + std::string(text);
}

std::string TLogFile::EvaluateConstant(std::string_view name, std::string_view width,
                                       std::string_view extra1, std::string_view extra2) const {
    const std::optional<int> w = ParseWidth(width);
    auto left = [&](std::string s) { return w ? PadText(s, ' ', *w, true) : s; };
    auto right = [&](std::string s) { return w ? PadText(s, ' ', *w, false) : s; };

    if (name == "LogVersion") return left(FindConstant(name).Value);
    if (name == "Processor" || name == "TotalMemory" || name == "OS" || name == "FreeHDSpace")
        return FindConstant(name).Value;
    if (name == "DetalizationMode") {
        const char* text = "";
        if (DetalizationMode == 1) text = "Errors";
        if (DetalizationMode == 2) text = "Errors, Warnings";
        if (DetalizationMode == 3) text = "Errors, Warnings, Hints";
        return left(std::string(extra1) + text + std::string(extra2));
    }
    if (name == "DateTime") {
        LocalTime now = Engine ? Engine->Now() : LocalNow();
        return right(
            FormatLogDateTime(extra1.empty() ? std::string_view(DateFormat) : extra1, now));
    }
    if (name == "TimeFromStart") {
        uint32_t ms = Engine ? Engine->TimeFromStart() : 0;
        return right(FormatLogDateTime(extra1.empty() ? std::string_view(TimeFormat) : extra1,
                                       ElapsedAsDateTime(ms)));
    }
    if (name == "MessagesCount") {
        const int32_t c = LastMessage.Count;
        if (c <= 1) {
            // Blanks as wide as a count would be, so that columns stay aligned.
            if (!w) return std::string();
            int64_t n =
                int64_t(*w) + int64_t(LogTextLength(extra1)) + int64_t(LogTextLength(extra2));
            return std::string(size_t(n > 0 ? n : 0), ' ');
        }
        return std::string(extra1) + right(IntToStr(c)) + std::string(extra2);
    }
    if (name == "MessageType") {
        const std::string* marker = nullptr;
        if (LastMessage.MessageType == lmError) marker = &ErrorMarker;
        if (LastMessage.MessageType == lmWarning) marker = &WarningMarker;
        if (LastMessage.MessageType == lmHint) return HintMarker;
        if (!marker) return std::string();
        if (LastMessage.Count == 0) return std::string(extra1) + *marker;
        // On a repeat line the lead-in (the ".") turns into as many blanks.
        return std::string(LogTextLength(extra1), ' ') + *marker;
    }
    if (name == "ErrorsCount") return right(IntToStr(ErrorsCount));
    if (name == "WarningsCount") return right(IntToStr(WarningsCount));
    if (name == "HintsCount") return right(IntToStr(HintsCount));
    return std::string();
}

std::string TLogFile::ExpandTemplate(std::string_view t) const {
    std::string out;
    out.reserve(t.size());
    size_t i = 0;
    while (i < t.size()) {
        if (t[i] != '%') {
            out += t[i++];
            continue;
        }
        if (i + 1 == t.size()) {  // a final "%" is literal
            out += '%';
            break;
        }
        size_t semi = t.find(';', i + 1);
        std::string_view body =
            semi == std::string_view::npos ? t.substr(i + 1) : t.substr(i + 1, semi - i - 1);
        i = semi == std::string_view::npos ? t.size() : semi + 1;

        std::string_view fields[4];
        for (int k = 0; k < 4; ++k) {
            size_t bar = body.find('|');
            fields[k] = body.substr(0, bar);
            if (bar == std::string_view::npos) break;
            body.remove_prefix(bar + 1);
        }
        if (fields[0].empty()) continue;
        if (FindConstant(fields[0]).Name.empty()) {
            // Not a placeholder of this file: written back as it stood, without the ";".
            out += '%';
            out += fields[0];
            for (int k = 1; k < 4; ++k) {
                if (!fields[k].empty()) {
                    out += '|';
                    out += fields[k];
                }
            }
            continue;
        }
        out += EvaluateConstant(fields[0], fields[1], fields[2], fields[3]);
    }
    return out;
}

void TLogFile::ReportFailure(const char* what) {
    const int err = errno;
    if (failureReported_) return;
    failureReported_ = true;
    std::fprintf(stderr,
                 "%s: cannot %s the log file \"%s\" (%s); its lines go to standard error until "
                 "it can be written again\n",
                 ModuleName().c_str(), what, (FilePath + FileName).c_str(),
                 err ? std::strerror(err) : "write failed");
}

bool TLogFile::CreateEmpty() {
    const std::string path = NativeFileName();
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fclose(f) != 0) {
        ReportFailure("create");
        return false;
    }
    return true;
}

bool TLogFile::AppendText(std::string_view text) {
    const std::string path = NativeFileName();
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        ReportFailure("open");
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        ReportFailure("write to");
        return false;
    }
    failureReported_ = false;
    return true;
}

bool TLogFile::OpenLogFile() {
    const std::string hostPath = FilePath + FileName;
    if (Opened && FileExists(hostPath)) return true;
    // Opened is set only once the header is on disk: a failed attempt is made again in full
    // by the next line.
    Opened = false;
    if (Overwrite || !FileExists(hostPath)) {
        if (!CreateEmpty()) return false;
    }
    if (!AppendText(ExpandTemplate(HeaderTemplate) + kCrLf)) return false;
    Opened = true;
    return true;
}

bool TLogFile::WriteLine(std::string_view text) {
    if (Busy) return false;
    Busy = true;
    std::string line(text);
    line += kCrLf;
    bool ok = AppendText(line);
    Busy = false;
    return ok;
}

bool TLogFile::FlushRepeats() {
    if (LastMessage.Count <= 0) return true;
    return AppendText(ExpandTemplate(LineTemplate + LastMessage.Text) + kCrLf);
}

void TLogFile::WriteMessage(const std::string& text, uint8_t kind) {
    if (kind == lmError) ++ErrorsCount;
    if (kind == lmWarning) ++WarningsCount;
    if (kind == lmHint) ++HintsCount;

    std::string message = text;
    if (MaxMessageLength >= 0 && LogTextLength(message) > size_t(MaxMessageLength)) {
        message = std::string(LogTextPrefix(message, size_t(MaxMessageLength)));
        message += " - Message was cut!";
    }

    if (kind > DetalizationMode || Disabled) return;

    if (message == LastMessage.Text && kind == LastMessage.MessageType) {
        ++LastMessage.Count;
        return;
    }

    // A failed step leaves the state as it was, so the next message tries again; meanwhile the
    // line goes to standard error rather than nowhere.
    const TLastMessage before = LastMessage;
    const bool opened =
        OpenLogFile() &&
        (LastMessage.Count == 0 || WriteLine(ExpandTemplate(LineTemplate + LastMessage.Text)));
    LastMessage = {message, kind, 0};
    const std::string line = ExpandTemplate(LineTemplate + message);
    if (!opened) LastMessage = before;
    if (!opened || !WriteLine(line)) std::fprintf(stderr, "%s\n", line.c_str());
}

void TLogFile::WriteMessageOnce(const std::string& text, uint8_t kind) {
    auto [it, first] = onceIndex_.try_emplace(text, onceTexts_.size());
    if (!first) {
        ++onceTexts_[it->second].Count;
        return;
    }
    onceTexts_.push_back({text, kind, 1});
    WriteMessage(text, kind);
}

void TLogFile::WriteFooter() {
    if (Disabled || !Opened) return;
    if (!OpenLogFile()) return;
    // The tally is a plain line, so it adds to no counter, but it shows only where the
    // message itself could.
    for (const OnceText& once : onceTexts_)
        if (once.Count > 1 && once.Kind <= DetalizationMode)
            WriteMessage(once.Text + " (" + IntToStr(once.Count) + " times in all, logged once)",
                         lmMessage);
    onceTexts_.clear();
    onceIndex_.clear();
    FlushRepeats();
    AppendText(ExpandTemplate(FooterTemplate) + kCrLf);
}

// ---------------------------------------------------------------------------------------------

TKavLogEngine::TKavLogEngine() : TKavLogEngine(ExeDir() + "Log.txt", TLogClock::System()) {}

TKavLogEngine::TKavLogEngine(const std::string& defaultFile, TLogClock clock)
    : clock_(std::move(clock)) {
    if (!clock_.Ticks) clock_.Ticks = [] { return GetTickCount(); };
    if (!clock_.Now) clock_.Now = [] { return LocalNow(); };
    StartTick = clock_.Ticks();
    GetSysInfo();
    DefaultLogFile = AddLogFile(defaultFile);
}

TKavLogEngine::~TKavLogEngine() {
    DefaultLogFile = nullptr;
    LogFiles.clear();
}

uint32_t TKavLogEngine::TimeFromStart() const {
    return uint32_t(clock_.Ticks() - StartTick);
}

LocalTime TKavLogEngine::Now() const {
    return clock_.Now();
}

void TKavLogEngine::GetSysInfo() {
    try {
        Processor = ProcessorDescription(GetCPUBrand(), GetCPUFeatures());
        auto memory = TotalPhysicalMemory();
        if (!memory) return;
        TotalMemory = IntToStr(int64_t(*memory / 1048576u)) + " Mb";
        auto os = OperatingSystemName();
        if (!os) return;
        OS = *os;
        auto free = DiskFreeBytes(ExeDir());
        if (!free) return;
        FreeHDSpace = IntToStr(int64_t(*free / 1048576u)) + " Mb";
    } catch (...) {
        // The machine description is a courtesy of the header; it never stops the program.
    }
}

TLogFile* TKavLogEngine::AddLogFile(const std::string& fileName) {
    auto file = std::make_unique<TLogFile>(fileName);
    if (TLogFile* existing = FindLogFile(file->FileName)) {
        AddWarning("TKavLogEngine.AddLogFile(" + file->FileName + ")" +
                   " - Log file already exists!");
        return existing;
    }
    file->Engine = this;
    file->AddConstant("LogVersion", "1.50");
    file->AddConstant("Processor", Processor);
    file->AddConstant("TotalMemory", TotalMemory);
    file->AddConstant("OS", OS);
    file->AddConstant("FreeHDSpace", FreeHDSpace);
    for (const char* name : {"DetalizationMode", "DateTime", "TimeFromStart", "MessagesCount",
                             "MessageType", "ErrorsCount", "WarningsCount", "HintsCount"}) {
        file->AddConstant(name, "");
    }
    LogFiles.push_back(std::move(file));
    return LogFiles.back().get();
}

TLogFile* TKavLogEngine::FindLogFile(const std::string& fileName) {
    for (auto& f : LogFiles) {
        if (f->FileName == fileName) return f.get();
    }
    return nullptr;
}

void TKavLogEngine::AddMessageToFile(const std::string& text, uint8_t kind,
                                     const std::string& fileName) {
    if (TLogFile* f = FindLogFile(fileName)) f->WriteMessage(text, kind);
}

void TKavLogEngine::AddMessage(const std::string& text) {
    if (DefaultLogFile) AddMessageToFile(text, lmMessage, DefaultLogFile->FileName);
}
void TKavLogEngine::AddError(const std::string& text) {
    if (DefaultLogFile) AddMessageToFile(text, lmError, DefaultLogFile->FileName);
}
void TKavLogEngine::AddWarning(const std::string& text) {
    if (DefaultLogFile) AddMessageToFile(text, lmWarning, DefaultLogFile->FileName);
}
void TKavLogEngine::AddHint(const std::string& text) {
    if (DefaultLogFile) AddMessageToFile(text, lmHint, DefaultLogFile->FileName);
}
void TKavLogEngine::AddWarningOnce(const std::string& text) {
    if (DefaultLogFile) DefaultLogFile->WriteMessageOnce(text, lmWarning);
}

void TKavLogEngine::CloseLogFiles() {
    for (auto& f : LogFiles) f->WriteFooter();
}

// ---------------------------------------------------------------------------------------------

namespace {

// The program's files get their footers exactly once, whichever end comes first: the
// finalisation run by Halt, or the C++ runtime's exit after main returns.
void CloseProgramLogFiles() {
    static bool closed = false;
    if (closed) return;
    closed = true;
    LogEngine().CloseLogFiles();
}

}  // namespace

TKavLogEngine& LogEngine() {
    // Never destroyed: code that runs during the process's own teardown may still log.
    static TKavLogEngine* const engine = new TKavLogEngine();
    static const bool hooked = [] {
        AddFinalizer(CloseProgramLogFiles);
        std::atexit(CloseProgramLogFiles);
        return true;
    }();
    (void)hooked;
    return *engine;
}

namespace {
// The engine exists from program load on, before the first subsystem logs.
[[maybe_unused]] const bool kCreatedAtLoad = (LogEngine(), true);
}  // namespace

}  // namespace hv
