// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

#include "cli/media/output_clash.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "cli/media/av_util.h"
#include "cli/media/output_file.h"

namespace
{

// Where a name leads: its folder with every link resolved, and the name in it. Renaming
// onto the name replaces exactly this entry.
struct Place {
    std::string folder, name;
    bool operator==(const Place&) const = default;
};

Place placeOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    Place place{slash == std::string::npos ? "." : path.substr(0, slash + (slash == 0)),
                slash == std::string::npos ? path : path.substr(slash + 1)};
    if (char* real = realpath(place.folder.c_str(), nullptr)) {
        place.folder = real;
        std::free(real);
    }
    return place;
}

struct FileId {
    dev_t device;
    ino_t inode;
};

bool idOf(const std::string& path, FileId& id)
{
    struct stat info {
    };
    if (stat(path.c_str(), &info) != 0) return false;
    id = {info.st_dev, info.st_ino};
    return true;
}

bool exists(const std::string& path)
{
    FileId ignored;
    return idOf(path, ignored);
}

// A file the input reads, under the name given and the name its links lead to.
struct InputFile {
    std::string path;
    Place given, real;
    FileId id;
    const NamedOutput* read = nullptr;  // another file the run reads, not the input
};

void addInputFile(const std::string& path, std::vector<InputFile>& files,
                  const NamedOutput* read = nullptr)
{
    InputFile file{path, placeOf(path), {}, {}, read};
    if (!idOf(path, file.id)) return;
    file.real = file.given;
    if (char* real = realpath(path.c_str(), nullptr)) {
        file.real = placeOf(real);
        std::free(real);
    }
    files.push_back(file);
}

// The files FFmpeg would read for `input`. A numbered sequence is read as the image
// demuxer does: from the first of numbers 0 to 4 that exists, up to the first gap.
std::vector<InputFile> inputFiles(const std::string& input, bool& sequence)
{
    std::vector<InputFile> files;
    sequence = false;
    const char* protocol = avio_find_protocol_name(input.c_str());
    if (input == "-" || protocol == nullptr || std::string_view(protocol) != "file") return files;
    const std::string path = input.rfind("file:", 0) == 0 ? input.substr(5) : input;
    addInputFile(path, files);
    if (av_filename_number_test(path.c_str()) == 0) return files;
    sequence = true;
    auto frame = [&](int number, std::string& name) {
        char text[PATH_MAX];
        if (av_get_frame_filename(text, sizeof text, path.c_str(), number) != 0) return false;
        name = text;
        return exists(name);
    };
    std::string name;
    int number = 0;
    while (number < 5 && !frame(number, name)) ++number;
    for (; frame(number, name); ++number) addInputFile(name, files);
    return files;
}

bool sequenceNames(const Place& pattern, const Place& place)
{
    return pattern.folder == place.folder && patternNames(pattern.name, place.name);
}

// An output and where it writes.
struct OutputPlace {
    const NamedOutput& output;
    Place place;
    bool writes(const Place& file) const
    {
        return output.sequence ? sequenceNames(place, file) : place == file;
    }
};

std::string shown(const NamedOutput& output)
{
    return output.option + " '" + output.path + "'";
}

}  // namespace

// The image muxer numbers frames from 1; a number is written as digits, so every run of
// digits in the name is a candidate.
bool patternNames(const std::string& pattern, const std::string& name)
{
    for (size_t at = 0; at < name.size();) {
        if (!std::isdigit(static_cast<unsigned char>(name[at]))) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
        if (end - at <= 9) {
            const int number = std::atoi(name.substr(at, end - at).c_str());
            char frame[PATH_MAX];
            if (number >= 1 &&
                av_get_frame_filename(frame, sizeof frame, pattern.c_str(), number) == 0 &&
                name == frame)
                return true;
        }
        at = end;
    }
    return false;
}

std::string findOutputClash(const std::string& input, const std::vector<NamedOutput>& outputs,
                            const std::vector<NamedOutput>& read)
{
    for (const NamedOutput& output : outputs)
        if (std::string overlong = overlongOutputName(output.option, output.path);
            !overlong.empty())
            return overlong;
    for (const NamedOutput& output : outputs) {
        struct stat info {
        };
        if (!output.sequence && stat(output.path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return shown(output) + " is a folder; name a file in it";
        if (std::string loop = outputLinkLoop(output.option, output.path); !loop.empty())
            return loop;
    }
    std::vector<OutputPlace> places;
    // A link is followed when written, so its target is where an output lands.
    for (const NamedOutput& output : outputs)
        places.push_back(
            {output, placeOf(output.sequence ? output.path : followOutputLinks(output.path))});
    bool sequence = false;
    std::vector<InputFile> files = inputFiles(input, sequence);
    for (const NamedOutput& other : read) addInputFile(other.path, files, &other);
    for (const OutputPlace& out : places) {
        FileId outputId{};
        const bool outputExists = !out.output.sequence && idOf(out.output.path, outputId);
        for (const InputFile& file : files) {
            const bool same = (outputExists && outputId.device == file.id.device &&
                               outputId.inode == file.id.inode) ||
                              out.writes(file.given) || out.writes(file.real);
            if (!same) continue;
            if (file.read != nullptr)
                return shown(out.output) + " would overwrite " + shown(*file.read) +
                       ", which this run reads; choose another name";
            if (!sequence && !out.output.sequence)
                return shown(out.output) + " is the input; choose another name";
            return shown(out.output) + " would overwrite '" + file.path + "', " +
                   (sequence ? "a frame of the input" : "the input") + "; choose another name";
        }
    }
    for (size_t a = 0; a < places.size(); ++a) {
        for (size_t b = a + 1; b < places.size(); ++b) {
            const OutputPlace& x = places[a];
            const OutputPlace& y = places[b];
            FileId xId{}, yId{};
            const bool sameId = !x.output.sequence && !y.output.sequence &&
                                idOf(x.output.path, xId) && idOf(y.output.path, yId) &&
                                xId.device == yId.device && xId.inode == yId.inode;
            const bool same = sameId || (!y.output.sequence && x.writes(y.place)) ||
                              (!x.output.sequence && y.writes(x.place));
            if (same)
                return shown(x.output) + " and " + shown(y.output) +
                       " would write the same file; give each its own name";
        }
    }
    return {};
}
