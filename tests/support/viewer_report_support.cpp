#include "tests/support/viewer_report.h"

#include <rapidjson/document.h>

#include "tests/support/test_support.h"
#include "tests/support/window_support.h"

namespace testing_support {

namespace {

std::wstring text(const rapidjson::Value& v) {
    return widen(std::string(v.GetString(), v.GetStringLength()));
}

ReportedControl readControl(const rapidjson::Value& c) {
    ReportedControl r;
    r.name = text(c["name"]);
    r.className = text(c["class"]);
    r.depth = c["depth"].GetInt();
    const auto& rect = c["rect"];
    r.rect = RECT{rect[0].GetInt(), rect[1].GetInt(), rect[2].GetInt(), rect[3].GetInt()};
    if (c.HasMember("accessible")) {
        const auto& a = c["accessible"];
        r.accessibleName = text(a["name"]);
        r.role = a["role"].GetInt();
        r.reachable = a["reachable"].GetBool();
    }
    if (!c.HasMember("text")) return r;
    r.hasText = true;
    r.text = text(c["text"]);
    r.multiline = c["multiline"].GetBool();
    r.fits = c["fits"].GetBool();
    r.missingGlyph = c["missingGlyph"].GetBool();
    r.need = SIZE{c["need"][0].GetInt(), c["need"][1].GetInt()};
    r.box = SIZE{c["box"][0].GetInt(), c["box"][1].GetInt()};
    for (const auto& face : c["faces"].GetArray()) r.faces.push_back(text(face));
    return r;
}

}  // namespace

ViewerReport readViewerReport(const std::wstring& path) {
    ViewerReport out;
    const std::string json = readFileBytes(path);
    rapidjson::Document document;
    document.Parse(json.c_str());
    if (document.HasParseError() || !document.IsObject() || !document.HasMember("controls") ||
        !document.HasMember("diagnostics"))
        return out;
    out.read = true;
    for (const auto& c : document["controls"].GetArray()) out.controls.push_back(readControl(c));
    for (const auto& d : document["diagnostics"].GetArray())
        out.diagnostics.push_back({text(d["file"]), d["line"].GetInt(), text(d["element"]),
                                   text(d["attribute"]), text(d["value"]), text(d["message"])});
    return out;
}

}  // namespace testing_support
