// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/report/plan_file.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

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

void appendMeasures(std::string& out, const PassPlan& plan)
{
    out += "# measure,frame,event,lowR,lowG,lowB,highR,highG,highB,medianR,medianG,medianB\n";
    for (size_t i = 0; i < plan.measured.size(); ++i) {
        const MeasuredFrame& m = plan.measured[i];
        out += "measure," + std::to_string(plan.firstMeasured + int64_t(i)) + ',' +
               kEventNames[eventIndex(m)];
        for (double v : m.levels.value) appendNumber(out, v);
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

// Reads fields[from..from+count) as integers or finite numbers.
bool readIntegers(const std::vector<std::string>& f, size_t from, size_t count, int64_t* out)
{
    if (f.size() != from + count) return false;
    for (size_t i = 0; i < count; ++i)
        if (!readInteger(f[from + i], out[i])) return false;
    return true;
}

bool readNumbers(const std::vector<std::string>& f, size_t from, double* out)
{
    if (f.size() != from + 9) return false;
    for (size_t i = 0; i < 9; ++i)
        if (!readFinite(f[from + i], out[i])) return false;
    return true;
}

struct Reader {
    PassPlan& plan;
    std::vector<bool> covered;
    bool sawInput = false, sawSettings = false;

    bool measure(const std::vector<std::string>& f)
    {
        int64_t frame = 0;
        if (f.size() != 12 || !readInteger(f[1], frame)) return false;
        if (plan.measured.empty()) plan.firstMeasured = frame;
        if (frame != plan.firstMeasured + int64_t(plan.measured.size())) return false;
        MeasuredFrame m;
        int e = 0;
        while (e < 4 && f[2] != kEventNames[e]) ++e;
        if (e == 4) return false;
        m.event = e == 0 ? SceneEvent::none : e == 1 ? SceneEvent::cut : SceneEvent::flashUndone;
        m.putBack = e >= 2 ? e - 1 : 0;
        if (!readNumbers(f, 3, m.levels.value)) return false;
        plan.measured.push_back(m);
        return true;
    }

    bool apply(const std::vector<std::string>& f, std::string& why)
    {
        int64_t range[2];
        double values[9];
        if (f.size() != 12 || !readIntegers({f[1], f[2]}, 0, 2, range) ||
            !readNumbers(f, 3, values))
            return false;
        if (range[0] < 0 || range[1] < range[0] || range[1] >= plan.frames) {
            why = "frames " + f[1] + ".." + f[2] + " are not within the plan's " +
                  std::to_string(plan.frames) + " frames";
            return false;
        }
        if (covered.empty()) {
            covered.assign(size_t(plan.frames), false);
            plan.applied.assign(size_t(plan.frames), identityCorrection());
        }
        for (int64_t k = range[0]; k <= range[1]; ++k) {
            if (covered[size_t(k)]) {
                why = "frame " + std::to_string(k) + " has a correction already";
                return false;
            }
            covered[size_t(k)] = true;
            std::memcpy(plan.applied[size_t(k)].value, values, sizeof values);
        }
        return true;
    }

    bool line(const std::vector<std::string>& f, std::string& why)
    {
        const std::string& kind = f[0];
        int64_t v[8];
        if (kind == "telvo-plan") return f.size() == 2 && f[1] == "1";
        if (kind == "input") {
            if (sawInput || !readIntegers(f, 1, 3, v) || v[0] < 1 || v[1] < 1 || v[2] < 1)
                return false;
            plan.width = int(v[0]), plan.height = int(v[1]), plan.frames = v[2];
            return sawInput = true;
        }
        if (kind == "settings") {
            if (sawSettings || f.size() != 10 || !readIntegers({f.begin(), f.end() - 1}, 1, 8, v))
                return false;
            int* fields[8] = {&plan.gamma, &plan.alignment, &plan.border, &plan.top,
                              &plan.left,  &plan.right,     &plan.bottom, &plan.sceneCuts};
            for (int i = 0; i < 8; ++i) *fields[i] = int(v[i]);
            plan.planning = f[9];
            return sawSettings = true;
        }
        if (kind == "measure") return measure(f);
        if (kind == "scene") return readIntegers(f, 1, 2, v);  // written for people; derived
        if (kind == "apply") return sawInput && apply(f, why);
        why = "unknown line kind '" + kind + "'";
        return false;
    }
};

}  // namespace

std::string formatPlan(const PassPlan& plan)
{
    std::string out =
        "# telvo two-pass plan (docs/two-pass.md): edit the apply lines to hand-set a "
        "correction\ntelvo-plan,1\n# input,width,height,frames\n";
    out += "input," + std::to_string(plan.width) + ',' + std::to_string(plan.height) + ',' +
           std::to_string(plan.frames) + '\n';
    out += "# settings,gamma,alignment,border,top,left,right,bottom,scene-cuts,planning\n";
    const int values[8] = {plan.gamma, plan.alignment, plan.border, plan.top,
                           plan.left,  plan.right,     plan.bottom, plan.sceneCuts};
    out += "settings";
    for (int v : values) out += ',' + std::to_string(v);
    out += ',' + (plan.planning.empty() ? std::string("-") : plan.planning) + '\n';
    appendMeasures(out, plan);
    if (!plan.applied.empty()) appendCorrections(out, plan);
    return out;
}

bool parsePlan(const std::string& text, PassPlan& plan, std::string& error)
{
    plan = PassPlan{};
    Reader reader{plan, {}};
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::vector<std::string> fields = splitFields(line);
        if (fields.empty() || fields[0].empty() || fields[0][0] == '#') continue;
        std::string why;
        if (!reader.line(fields, why)) {
            error = "line " + std::to_string(number) + ": " +
                    (why.empty() ? "'" + line + "' is not a " + fields[0] + " line" : why);
            return false;
        }
    }
    if (!reader.sawInput || !reader.sawSettings) {
        error = "no input or settings line: not a telvo plan";
        return false;
    }
    const bool whole = plan.firstMeasured == 0 && int64_t(plan.measured.size()) == plan.frames;
    if (!plan.applied.empty() && !whole) {
        error = "the plan measures " + std::to_string(plan.measured.size()) + " of its " +
                std::to_string(plan.frames) + " frames";
        return false;
    }
    for (size_t k = 0; k < reader.covered.size(); ++k)
        if (!reader.covered[k]) {
            error = "no apply line covers frame " + std::to_string(k);
            return false;
        }
    return true;
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
    settings.gamma = plan.gamma;
    settings.alignment = plan.alignment;
    const std::vector<int64_t> starts = sceneStarts(plan.measured);
    plan.applied = plan.planning == "scene"
                       ? planScenes(settings, plan.measured, starts)
                       : planSmooth(settings, plan.measured, starts, std::atoi(&plan.planning[7]));
}
