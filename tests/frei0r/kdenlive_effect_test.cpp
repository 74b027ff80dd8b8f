// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// The Kdenlive effect description against the module itself: the file is well-formed
// XML in the form of Kdenlive's frei0r effects, and names exactly the module's
// parameters, in its order, with its types and defaults; strengths are sliders over
// their table range (0..40, the scene-cut sensitivity 0..100), margins are in pixels of
// the frame's width or height.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frei0r/parameters.h"
#include "plugin/settings_table.h"
#include "tests/frei0r/frei0r_clip.h"

namespace
{

struct Element {
    std::string tag;
    std::map<std::string, std::string> attributes;
    std::vector<Element> children;
};

// Enough XML for the effect files: elements, attributes in double quotes, comments,
// the declaration and DOCTYPE, text between elements ignored. Reports the first fault.
class XmlReader
{
public:
    explicit XmlReader(std::string text) : text_(std::move(text)) {}

    bool read(Element& root, std::string& error)
    {
        std::vector<Element> open(1);  // open[0] collects the top-level elements
        while ((pos_ = text_.find('<', pos_)) != std::string::npos) {
            if (skip("<?", "?>") || skip("<!--", "-->") || skip("<!", ">")) continue;
            if (text_.compare(pos_, 2, "</") == 0) {
                const size_t end = text_.find('>', pos_);
                const std::string tag = text_.substr(pos_ + 2, end - pos_ - 2);
                if (end == std::string::npos || open.size() < 2 || open.back().tag != tag)
                    return fail(error, "</" + tag + "> closes nothing open");
                Element done = std::move(open.back());
                open.pop_back();
                open.back().children.push_back(std::move(done));
                pos_ = end + 1;
                continue;
            }
            Element element;
            bool closed = false;
            if (!startTag(element, closed, error)) return false;
            if (closed)
                open.back().children.push_back(std::move(element));
            else
                open.push_back(std::move(element));
        }
        if (open.size() != 1) return fail(error, "<" + open.back().tag + "> is never closed");
        if (open[0].children.size() != 1) return fail(error, "not exactly one root element");
        root = std::move(open[0].children[0]);
        return true;
    }

private:
    bool skip(const char* start, const char* end)
    {
        if (text_.compare(pos_, std::char_traits<char>::length(start), start) != 0) return false;
        const size_t at = text_.find(end, pos_);
        pos_ = at == std::string::npos ? text_.size() : at + std::char_traits<char>::length(end);
        return true;
    }

    bool startTag(Element& element, bool& closed, std::string& error)
    {
        ++pos_;
        element.tag = name();
        if (element.tag.empty()) return fail(error, "a '<' without an element name");
        for (;;) {
            while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
                ++pos_;
            if (text_.compare(pos_, 2, "/>") == 0) {
                closed = true;
                pos_ += 2;
                return true;
            }
            if (text_.compare(pos_, 1, ">") == 0) {
                ++pos_;
                return true;
            }
            const std::string attribute = name();
            if (attribute.empty() || text_.compare(pos_, 2, "=\"") != 0)
                return fail(error, "<" + element.tag + ">: a malformed attribute");
            const size_t end = text_.find('"', pos_ + 2);
            if (end == std::string::npos) return fail(error, "an attribute value never ends");
            if (!element.attributes.emplace(attribute, text_.substr(pos_ + 2, end - pos_ - 2))
                     .second)
                return fail(error, "<" + element.tag + ">: " + attribute + " given twice");
            pos_ = end + 1;
        }
    }

    std::string name()
    {
        const size_t start = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                       text_[pos_] == '_' || text_[pos_] == '-'))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    bool fail(std::string& error, const std::string& what)
    {
        error = what + " (at byte " + std::to_string(pos_) + ")";
        return false;
    }

    std::string text_;
    size_t pos_ = 0;
};

Element effectFile()
{
    std::ifstream in(TELVO_KDENLIVE_EFFECT);
    std::stringstream text;
    text << in.rdbuf();
    Element root;
    std::string error;
    EXPECT_TRUE(in.good() || in.eof()) << TELVO_KDENLIVE_EFFECT;
    EXPECT_TRUE(XmlReader(text.str()).read(root, error)) << error;
    return root;
}

}  // namespace

TEST(KdenliveEffect, DescribesTheModulesParametersAsItHasThem)
{
    const Element effect = effectFile();
    f0r_plugin_info_t info{};
    f0r_get_plugin_info(&info);
    std::string tag = std::string("frei0r.") + info.name;
    for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(effect.tag, "effect");
    EXPECT_EQ(effect.attributes.count("tag") ? effect.attributes.at("tag") : "", tag);

    std::vector<const Element*> parameters;
    for (const Element& child : effect.children)
        if (child.tag == "parameter") parameters.push_back(&child);
    ASSERT_EQ(static_cast<int>(parameters.size()), info.num_params);

    // Defaults as a host reads them from a new instance (margins on the 640 x 480 frame
    // the defaults are fractions of).
    const Frei0rModule module(640, 480);
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        f0r_get_param_info(&param, i);
        auto attribute = [&](const char* key) {
            const auto found = parameters[i]->attributes.find(key);
            return found == parameters[i]->attributes.end() ? std::string() : found->second;
        };
        SCOPED_TRACE(param.name);
        EXPECT_EQ(attribute("name"), param.name);
        bool named = false;
        for (const Element& child : parameters[i]->children) named |= child.tag == "name";
        EXPECT_TRUE(named) << "no <name> to show";
        const bool isBool = param.type == F0R_PARAM_BOOL;
        EXPECT_EQ(attribute("type") == "bool", isBool) << "type " << attribute("type");
        EXPECT_NEAR(std::strtod(attribute("default").c_str(), nullptr), module.value(i), 1e-6);
        if (isBool) continue;
        const std::string name = param.name;
        const SettingRange range = kSettings[i].range;
        const std::string scale = name == "top" || name == "bottom" ? "%height"
                                  : name == "left" || name == "right"
                                      ? "%width"
                                      : std::to_string(range.high - range.low);
        EXPECT_EQ(attribute("factor"), scale);
        EXPECT_EQ(attribute("min"), "0");
        EXPECT_EQ(attribute("max"), scale);
    }
}

// Kdenlive keeps a slider's value as shown / factor, written with six significant digits,
// and on reopening shows stored x factor with the slider's decimals, cut off when it has
// none: 8 px of 240 rows is kept as 0.0333333 and came back as 7 px while the module
// renders round(0.0333333 x 240) = 8. Every margin of common frame sizes must come back
// as the number of pixels the module renders.
TEST(KdenliveEffect, ReopenedMarginsShowWhatTheModuleRenders)
{
    const Element effect = effectFile();
    auto reopened = [](int pixels, int extent, int decimals) {
        char kept[32];
        std::snprintf(kept, sizeof kept, "%.6g", static_cast<double>(pixels) / extent);
        const double shown = std::strtod(kept, nullptr) * extent;
        const double scale = std::pow(10.0, decimals);
        return decimals == 0 ? std::trunc(shown) : std::round(shown * scale) / scale;
    };
    for (const Element& parameter : effect.children) {
        if (parameter.tag != "parameter") continue;
        const auto factor = parameter.attributes.find("factor");
        if (factor == parameter.attributes.end() || factor->second[0] != '%') continue;
        const std::string name = parameter.attributes.at("name");
        SCOPED_TRACE(name);
        int index = 0;
        while (index < kParameterCount && name != parameterInfo(index)->name) ++index;
        ASSERT_LT(index, kParameterCount);
        const auto decimals = parameter.attributes.find("decimals");
        const int places =
            decimals == parameter.attributes.end() ? 0 : std::atoi(decimals->second.c_str());
        for (const int extent : {144, 240, 288, 360, 480, 576, 720, 1080, 1440, 2160}) {
            int wrong = 0;
            for (int pixels = 0; pixels <= extent; ++pixels) {
                ParameterValues values = defaultParameterValues();
                char kept[32];
                std::snprintf(kept, sizeof kept, "%.6g", static_cast<double>(pixels) / extent);
                values[index] = std::strtod(kept, nullptr);
                const int rendered = toSettingValues(values, extent, extent)[index];
                if (reopened(pixels, extent, places) != rendered && wrong++ == 0)
                    ADD_FAILURE() << pixels << " px of " << extent << " comes back as "
                                  << reopened(pixels, extent, places) << ", renders " << rendered;
            }
        }
    }
}

// The reader itself, on the faults it exists to catch.
TEST(KdenliveEffect, ReaderRefusesBrokenXml)
{
    for (const char* text : {"<effect><parameter></effect>", "<effect a=\"1\" a=\"2\"/>",
                             "<effect><name>x</name>", "<effect a=1/>", "<a/><b/>"}) {
        Element root;
        std::string error;
        EXPECT_FALSE(XmlReader(text).read(root, error)) << text;
    }
}
