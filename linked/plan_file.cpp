// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "linked/plan_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <map>
#include <sstream>

#include "engine/frame_settings.h"

namespace
{

constexpr const char* kEventNames[] = {"-", "cut", "flash1", "flash2"};

void appendNumber(std::string& out, double v)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out += ',';
    out.append(buffer, result.ptr);
}

int eventIndex(const MeasuredFrame& m)
{
    if (m.event == SceneEvent::cut) return 1;
    if (m.event == SceneEvent::flashUndone) return m.putBack >= 2 ? 3 : 2;
    return 0;
}

// With the balance correction a measure line holds the frame's estimate too.
constexpr const char* kBalanceColumns =
    ",balanceBlackR,balanceBlackG,balanceBlackB,balanceWhiteR,balanceWhiteG,balanceWhiteB,"
    "balanceCurveR,balanceCurveG,balanceCurveB,greyPixels";
constexpr size_t kMeasureFields = 12, kBalanceMeasureFields = 22;

void appendMeasures(std::string& out, const PassPlan& plan)
{
    const bool balance = plan.settings[kPlanBalance] != 0;
    if (balance)
        out += "# balance,strength\nbalance," + std::to_string(plan.settings[kPlanStrength]) + '\n';
    out += "# measure,frame,event,lowR,lowG,lowB,highR,highG,highB,medianR,medianG,medianB";
    out += balance ? std::string(kBalanceColumns) + '\n' : std::string("\n");
    for (size_t i = 0; i < plan.measured.size(); ++i) {
        const MeasuredFrame& m = plan.measured[i];
        out += "measure," + std::to_string(plan.firstMeasured + int64_t(i)) + ',' +
               kEventNames[eventIndex(m)];
        for (double v : m.levels.value) appendNumber(out, v);
        if (balance) {
            for (double v : m.balance.values.value) appendNumber(out, v);
            appendNumber(out, m.balance.weight);
        }
        out += '\n';
    }
}

// Runs of frames with the same values share one line: a scene planned as one is one line.
void appendCorrections(std::string& out, const PassPlan& plan)
{
    out += "# scene,first,last\n";
    const std::vector<int64_t> starts = sceneStarts(plan.measured);
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t last = i + 1 < starts.size() ? starts[i + 1] - 1 : plan.frames - 1;
        out += "scene," + std::to_string(starts[i]) + ',' + std::to_string(last) + '\n';
    }
    out += "# apply,first,last,blackR,blackG,blackB,whiteR,whiteG,whiteB,curveR,curveG,curveB\n";
    const auto& a = plan.applied;
    for (size_t first = 0; first < a.size();) {
        size_t last = first;
        while (last + 1 < a.size() &&
               std::memcmp(a[last + 1].value, a[first].value, sizeof a[first].value) == 0)
            ++last;
        out += "apply," + std::to_string(first) + ',' + std::to_string(last);
        for (double v : a[first].value) appendNumber(out, v);
        out += '\n';
        first = last + 1;
    }
}

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) {
        const size_t b = field.find_first_not_of(" \t\r"), e = field.find_last_not_of(" \t\r");
        fields.push_back(b == std::string::npos ? "" : field.substr(b, e - b + 1));
    }
    return fields;
}

bool readInteger(const std::string& text, int64_t& out)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool readFinite(const std::string& text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

// Reads fields[from..from+count), the last ones, as integers.
bool readIntegers(const std::vector<std::string>& f, size_t from, size_t count, int64_t* out)
{
    if (f.size() != from + count) return false;
    for (size_t i = 0; i < count; ++i)
        if (!readInteger(f[from + i], out[i])) return false;
    return true;
}

// Reads fields[from..from+9) as finite numbers.
bool readNumbers(const std::vector<std::string>& f, size_t from, double* out)
{
    if (f.size() < from + 9) return false;
    for (size_t i = 0; i < 9; ++i)
        if (!readFinite(f[from + i], out[i])) return false;
    return true;
}

// "a measure line", "an apply line"
std::string kindName(const std::string& kind)
{
    const bool vowel = !kind.empty() && std::strchr("aeiouAEIOU", kind[0]) != nullptr;
    return (vowel ? "an " : "a ") + kind + " line";
}

// A line as a message shows it: bytes that do not print as \xNN, cut short.
std::string shownLine(const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < line.size() && out.size() < 80; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else if (c != '\r') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out.size() >= 80 ? out + "..." : out;
}

// The apply lines' ranges, by first frame: an overlap is found when its line is read,
// a gap at the end, and memory grows with the lines, not with the frames they name.
struct ApplyRange {
    int64_t last;
    double values[9];
};

struct Reader {
    PassPlan& plan;
    int64_t inputFrames;
    std::map<int64_t, ApplyRange> ranges;
    bool sawInput = false, sawSettings = false, sawBalance = false;

    bool measure(const std::vector<std::string>& f, std::string& why)
    {
        int64_t frame = 0;
        const size_t fields = sawBalance ? kBalanceMeasureFields : kMeasureFields;
        if (!sawInput || f.size() != fields || !readInteger(f[1], frame)) return false;
        if (plan.measured.empty()) plan.firstMeasured = frame;
        const int64_t next = plan.firstMeasured + int64_t(plan.measured.size());
        if (frame < 0 || frame >= plan.frames) {
            why = "frame " + f[1] + " is not within the plan's " + std::to_string(plan.frames) +
                  " frames";
            return false;
        }
        if (frame != next) {
            why = "frame " + f[1] + " is measured out of order: frame " + std::to_string(next) +
                  " comes next";
            return false;
        }
        MeasuredFrame m;
        int e = 0;
        while (e < 4 && f[2] != kEventNames[e]) ++e;
        if (e == 4) return false;
        m.event = e == 0 ? SceneEvent::none : e == 1 ? SceneEvent::cut : SceneEvent::flashUndone;
        m.putBack = e >= 2 ? e - 1 : 0;
        if (!readNumbers(f, 3, m.levels.value)) return false;
        // A weight counts near-grey pixels: none below 0, none beyond the picture's.
        if (sawBalance &&
            (!readNumbers(f, 12, m.balance.values.value) || !readFinite(f[21], m.balance.weight) ||
             m.balance.weight < 0 || m.balance.weight > double(plan.width) * plan.height))
            return false;
        plan.measured.push_back(m);
        return true;
    }

    bool apply(const std::vector<std::string>& f, std::string& why)
    {
        int64_t range[2];
        ApplyRange r{};
        if (!sawInput || f.size() != 12 || !readIntegers({f[1], f[2]}, 0, 2, range) ||
            !readNumbers(f, 3, r.values))
            return false;
        if (range[0] < 0 || range[1] < range[0] || range[1] >= plan.frames) {
            why = "frames " + f[1] + ".." + f[2] + " are not within the plan's " +
                  std::to_string(plan.frames) + " frames";
            return false;
        }
        r.last = range[1];
        auto after = ranges.upper_bound(range[1]);  // the first range starting after this one
        if (after != ranges.begin() && std::prev(after)->second.last >= range[0]) {
            const int64_t k = std::max(range[0], std::prev(after)->first);
            why = "frame " + std::to_string(k) + " has a correction already";
            return false;
        }
        ranges.emplace(range[0], r);
        return true;
    }

    bool input(const std::vector<std::string>& f, std::string& why)
    {
        int64_t v[3];
        if (sawInput || !readIntegers(f, 1, 3, v) || v[0] < 1 || v[1] < 1 || v[2] < 1 ||
            v[0] > INT32_MAX || v[1] > INT32_MAX)
            return false;
        if (inputFrames > 0 && v[2] != inputFrames) {
            why = "the plan has " + f[3] + " frames, the input states " +
                  std::to_string(inputFrames) + ": the plan is not this input's";
            return false;
        }
        plan.width = int(v[0]), plan.height = int(v[1]), plan.frames = v[2];
        return sawInput = true;
    }

    bool settings(const std::vector<std::string>& f)
    {
        int64_t v[kPlanLineSettings];
        if (sawSettings || f.size() != kPlanLineSettings + 2 ||
            !readIntegers({f.begin(), f.end() - 1}, 1, kPlanLineSettings, v))
            return false;
        for (size_t i = 0; i < kPlanLineSettings; ++i) {
            if (v[i] < INT32_MIN || v[i] > INT32_MAX) return false;
            plan.settings[i] = int(v[i]);
        }
        plan.planning = f.back();
        return sawSettings = true;
    }

    // `balance,STRENGTH`: the plan was made with the balance correction, and its measure
    // lines, which follow, hold each frame's balance estimate.
    bool balance(const std::vector<std::string>& f, std::string& why)
    {
        int64_t strength = 0;
        if (!sawInput || sawBalance || !readIntegers(f, 1, 1, &strength) || strength < INT32_MIN ||
            strength > INT32_MAX)
            return false;
        if (!plan.measured.empty()) {
            why = "the balance line comes after measure lines: it goes before them";
            return false;
        }
        plan.settings[kPlanBalance] = 1;
        plan.settings[kPlanStrength] = int(strength);
        return sawBalance = true;
    }

    bool line(const std::vector<std::string>& f, std::string& why)
    {
        const std::string& kind = f[0];
        int64_t v[2];
        if (kind == "telvo-plan") return f.size() == 2 && f[1] == "1";
        if (kind == "input") return input(f, why);
        if (kind == "settings") return settings(f);
        if (kind == "balance") return balance(f, why);
        if (kind == "measure") return measure(f, why);
        if (kind == "scene") return readIntegers(f, 1, 2, v);  // written for people; derived
        if (kind == "apply") return apply(f, why);
        why = "unknown line kind '" + shownLine(kind) + "'";
        return false;
    }

    // After the last line: every frame measured (for a plan), every frame covered once.
    bool finish(std::string& error)
    {
        if (!sawInput || !sawSettings) {
            error = "no input or settings line: not a telvo plan";
            return false;
        }
        const bool whole = plan.firstMeasured == 0 && int64_t(plan.measured.size()) == plan.frames;
        if (!ranges.empty() && !whole) {
            error = "the plan measures " + std::to_string(plan.measured.size()) + " of its " +
                    std::to_string(plan.frames) + " frames";
            return false;
        }
        int64_t next = 0;
        for (const auto& [first, r] : ranges) {
            if (first != next) break;
            next = r.last + 1;
        }
        if (!ranges.empty() && next != plan.frames) {
            error = "no apply line covers frame " + std::to_string(next);
            return false;
        }
        // Only now, with a line read for every frame, is memory spent per frame.
        if (!ranges.empty()) plan.applied.reserve(size_t(plan.frames));
        for (const auto& [first, r] : ranges) {
            CorrectionParams c;
            std::memcpy(c.value, r.values, sizeof r.values);
            plan.applied.insert(plan.applied.end(), size_t(r.last - first + 1), c);
        }
        return true;
    }
};

// The next line, without its '\n'; false at the end or, with `tooLong`, at a line
// longer than the limit (read no further: /dev/zero has no line end).
bool nextLine(std::istream& in, std::string& line, bool& tooLong)
{
    line.clear();
    tooLong = false;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (c == '\n') return true;
        if (line.size() == kPlanLineLimit) {
            tooLong = true;
            return false;
        }
        line += char(c);
    }
    return !line.empty();
}

}  // namespace

int PassPlan::setting(std::string_view name) const
{
    for (size_t i = 0; i < kPlanSettingCount; ++i)
        if (kPlanSettings[i].name == name) return settings[i];
    return 0;
}

std::string formatPlan(const PassPlan& plan)
{
    std::string out =
        "# telvo two-pass plan (docs/two-pass.md): edit the apply lines to hand-set a "
        "correction\ntelvo-plan,1\n# input,width,height,frames\n";
    out += "input," + std::to_string(plan.width) + ',' + std::to_string(plan.height) + ',' +
           std::to_string(plan.frames) + '\n';
    out += "# settings";
    for (size_t i = 0; i < kPlanLineSettings; ++i) (out += ',') += kPlanSettings[i].name;
    out += ",planning\nsettings";
    for (size_t i = 0; i < kPlanLineSettings; ++i) out += ',' + std::to_string(plan.settings[i]);
    out += ',' + (plan.planning.empty() ? std::string("-") : plan.planning) + '\n';
    appendMeasures(out, plan);
    if (!plan.applied.empty()) appendCorrections(out, plan);
    return out;
}

bool readPlanText(std::istream& in, PassPlan& plan, std::string& error, int64_t inputFrames)
{
    plan = PassPlan{};
    plan.settings[kPlanStrength] = FrameSettings{}.balanceStrength;  // the default, unused
    Reader reader{plan, inputFrames, {}};
    std::string line;
    bool tooLong = false;
    int64_t number = 1;
    for (; nextLine(in, line, tooLong); ++number) {
        // Notepad and other editors start a UTF-8 file with a byte-order mark.
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        const std::vector<std::string> fields = splitFields(line);
        if (fields.empty() || fields[0].empty() || fields[0][0] == '#') continue;
        std::string why;
        if (!reader.line(fields, why)) {
            if (why.empty())
                why = std::string(1, '\'') + shownLine(line) + "' is not " + kindName(fields[0]);
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    if (tooLong) {
        error = "line " + std::to_string(number) + " is longer than " +
                std::to_string(kPlanLineLimit) + " bytes: not a telvo plan";
        return false;
    }
    return reader.finish(error);
}

bool parsePlan(const std::string& text, PassPlan& plan, std::string& error)
{
    std::istringstream in(text);
    return readPlanText(in, plan, error);
}

std::string planMismatch(int64_t frame)
{
    return "frame " + std::to_string(frame) +
           " does not measure as the plan says: the plan is not this input's (or was made "
           "with other margins)";
}

void planCorrections(PassPlan& plan)
{
    FrameSettings settings{};
    settings.gamma = plan.setting("gamma");
    settings.alignment = plan.setting("alignment");
    settings.balance = plan.settings[kPlanBalance];
    settings.balanceStrength = plan.settings[kPlanStrength];
    const std::vector<int64_t> starts = sceneStarts(plan.measured);
    plan.applied = plan.planning == "scene"
                       ? planScenes(settings, plan.measured, starts)
                       : planSmooth(settings, plan.measured, starts, std::atoi(&plan.planning[7]));
}
