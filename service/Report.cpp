// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/Report.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "base/Error.h"
#include "base/Text.h"
#include "service/ReportText.h"

namespace vyx::service {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool Holds(const std::string& name, std::initializer_list<const char*> words) {
    const std::string lower = Lower(name);
    for (const char* w : words)
        if (lower.find(w) != std::string::npos) return true;
    return false;
}

bool IsIdentity(const TSnapshotRegister& r) {
    return (Lower(r.Type) == "text" && Lower(r.Access) == "ro") || Holds(r.Name, {"numer", "typ", "wersja", "serial"});
}

// Escaped, with each line end kept as a line break.
std::string Lines(std::string_view text) {
    std::string out;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t end = std::min(text.find('\n', from), text.size());
        std::string_view line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (from > 0) out += "<br>";
        out += HtmlEscape(line);
        from = end + 1;
    }
    return out;
}

std::string Registers(size_t n) { return std::to_string(n) + (n == 1 ? " rejestru" : " rejestrów"); }

// A register's side in a table: its shown value, with its words when asked
// (the appendix); why it was not read; or that it is missing.
std::string Side(const TSnapshotRegister* r, bool words) {
    if (!r) return "<span class=\"missing\">(brak)</span>";
    if (!r->Read()) return "<span class=\"error\">nie odczytano: " + HtmlEscape(r->Error) + "</span>";
    std::string out = HtmlEscape(r->Value);
    if (words) out += " <span class=\"words\">[" + WordsText(r->Words) + "]</span>";
    return out;
}

// A register's value in the body: as shown, with the device file's note beside
// it; its words are the appendix's alone.
std::string Shown(const TSnapshotRegister* r) {
    std::string out = Side(r, false);
    if (r && r->Read() && !r->Note.empty()) out += " <span class=\"note\">(" + HtmlEscape(r->Note) + ")</span>";
    return out;
}

std::string Recorded(const TRecordedValue& v) {
    if (!v.Read()) return "<span class=\"error\">nie odczytano: " + HtmlEscape(v.Error) + "</span>";
    return HtmlEscape(v.Value);
}

void Row(std::string& html, std::initializer_list<std::string> cells, const std::string& cls = "") {
    html += cls.empty() ? "<tr>" : "<tr class=\"" + cls + "\">";
    for (const std::string& c : cells) html += "<td>" + c + "</td>";
    html += "</tr>\n";
}

void Head(std::string& html, std::initializer_list<const char*> cells) {
    html += "<thead><tr>";
    for (const char* c : cells) html += std::string("<th>") + c + "</th>";
    html += "</tr></thead>\n";
}

void Detail(std::string& html, const char* label, const std::string& escaped) {
    if (escaped.empty()) return;
    html += std::string("<tr><th>") + label + "</th><td>" + escaped + "</td></tr>\n";
}

size_t Failed(const TSnapshot& s) {
    return static_cast<size_t>(std::count_if(s.Registers.begin(), s.Registers.end(),
                                             [](const TSnapshotRegister& r) { return !r.Read(); }));
}

// The registers read on both sides with other words, writable ones or the rest.
std::vector<TDifference> Differing(const TSnapshot& before, const TSnapshot& after, bool writable) {
    std::vector<TDifference> out;
    for (const TDifference& d : Compare(before, after))
        if (d.A && d.B && d.A->Read() && d.B->Read() && Writable(*d.B) == writable) out.push_back(d);
    return out;
}

// What the technician changed: the writable registers whose words differ.
void ChangesSection(std::string& html, const TSnapshot& before, const TSnapshot& after) {
    const std::vector<TDifference> changed = ChangedRegisters(before, after);
    html += "<section id=\"changes\">\n<h2>Zmienione rejestry</h2>\n";
    if (changed.empty()) {
        html += "<p class=\"none\">Żaden rejestr nie zmienił się.</p>\n";
    } else {
        html += "<table>\n";
        Head(html, {"Adres", "Rejestr", "Przed", "Po"});
        for (const TDifference& d : changed)
            Row(html, {HtmlEscape(d.B->Address), HtmlEscape(d.B->Name), Shown(d.A), Shown(d.B)}, "changed");
        html += "</table>\n";
    }
    html += "</section>\n";
}

// Measurements, counters and states read at both ends of the visit: the unit
// changes them itself, so they are shown side by side and never as changes.
void ReadingsSection(std::string& html, const TSnapshot& before, const TSnapshot& after) {
    const std::vector<TDifference> readings = ChangedReadings(before, after);
    if (readings.empty()) return;
    html += "<section id=\"readings\">\n<h2>Odczyty przy przyjęciu i przy oddaniu</h2>\n<table>\n";
    Head(html, {"Adres", "Rejestr", "Przy przyjęciu", "Przy oddaniu"});
    for (const TDifference& d : readings)
        Row(html, {HtmlEscape(d.B->Address), HtmlEscape(d.B->Name), Shown(d.A), Shown(d.B)}, "reading");
    html += "</table>\n</section>\n";
}

const char kStyle[] = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 10pt; color: #000; margin: 1.5em; }
h1 { font-size: 16pt; margin: 0 0 .4em; }
h2 { font-size: 12.5pt; margin: 1.2em 0 .4em; border-bottom: 1px solid #888; }
h3 { font-size: 10.5pt; margin: .8em 0 .3em; }
h4 { font-size: 9.5pt; margin: .5em 0 .2em; }
p.plot img { max-width: 100%; }
table { border-collapse: collapse; margin: .3em 0 .8em; }
th, td { border: 1px solid #aaa; padding: 2px 6px; text-align: left; vertical-align: top; }
thead th { background: #eee; }
table.details th { background: #f4f4f4; width: 11em; }
.warning { border: 2px solid #c00; color: #c00; padding: .4em .6em; font-weight: bold; }
.error, .not-verified { color: #c00; }
.verified { color: #070; }
.words { font-family: "DejaVu Sans Mono", "Liberation Mono", monospace; font-size: 8.5pt; color: #444; }
tr.differs td { background: #fff6d6; }
table.samples td { font-size: 8.5pt; border-color: #ddd; min-width: 5em; }
.ordinal { color: #666; }
.none { color: #555; font-style: italic; }
.note { color: #555; font-size: 8.5pt; }
.company { font-size: 11pt; font-weight: bold; margin: 0 0 .2em; }
p.summary { border: 1px solid #888; padding: .4em .6em; }
table.signatures { width: 100%; margin-top: 1em; }
table.signatures td { height: 3em; }
table.signatures td.signature { width: 35%; }
@media print {
  body { margin: 0; font-size: 9pt; }
  #appendix { break-before: page; }
  #signatures { break-inside: avoid; }
  thead { display: table-header-group; }
  tr, .run h3, h4 { break-inside: avoid; break-after: avoid-page; }
  p.plot { break-inside: avoid; }
  tr.differs td { background: none; font-weight: bold; }
}
@page { size: A4; margin: 15mm 12mm 18mm;
  @bottom-right { content: "strona " counter(page) " z " counter(pages); font-size: 8pt; } }
)";

// "Od ostatniej wizyty": the unit's last visit and its writable registers
// that changed since, with the change and the change in per cent.
void SinceLastVisitSection(std::string& html, const TSinceLastVisit& since) {
    html += "<section id=\"since-last-visit\">\n<h2>Od ostatniej wizyty</h2>\n";
    if (!since.Found) {
        html += "<p class=\"none\">Brak wcześniejszej wizyty tej jednostki.</p>\n</section>\n";
        return;
    }
    html += "<table class=\"details\">\n";
    Detail(html, "Ostatnia wizyta", HtmlEscape(PolishDateTime(since.Date)));
    if (since.Days)
        Detail(html, "Minęło", std::to_string(*since.Days) + (*since.Days == 1 ? " dzień" : " dni"));
    Detail(html, "Technik", HtmlEscape(since.Technician));
    Detail(html, "Numer raportu", HtmlEscape(since.Report));
    html += "</table>\n";
    if (since.Registers.empty()) {
        html += "<p class=\"none\">Żaden zapisywalny rejestr nie zmienił się od ostatniej wizyty.</p>\n";
    } else {
        html += "<table>\n";
        Head(html, {"Adres", "Rejestr", "Poprzednio", "Teraz", "Zmiana", "Zmiana %"});
        for (const TDrift& d : since.Registers)
            Row(html, {HtmlEscape(d.Address), HtmlEscape(d.Name), HtmlEscape(d.Before), HtmlEscape(d.Now),
                       HtmlEscape(d.ChangeText), HtmlEscape(d.PercentText)},
                "drift");
        html += "</table>\n";
    }
    html += "</section>\n";
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::vector<TDifference> ChangedRegisters(const TSnapshot& before, const TSnapshot& after) {
    return Differing(before, after, true);
}

std::vector<TDifference> ChangedReadings(const TSnapshot& before, const TSnapshot& after) {
    return Differing(before, after, false);
}

std::vector<const TSnapshotRegister*> DefaultIdentity(const TSnapshot& snapshot) {
    std::vector<const TSnapshotRegister*> out;
    for (const TSnapshotRegister& r : snapshot.Registers)
        if (IsIdentity(r) && snapshot.Find(r.Name, r.Address) == &r) out.push_back(&r);
    return out;
}

std::vector<const TSnapshotRegister*> IdentityByNames(const TSnapshot& snapshot, const std::vector<std::string>& names) {
    std::vector<const TSnapshotRegister*> out;
    for (const std::string& name : names) {
        const auto it = std::find_if(snapshot.Registers.begin(), snapshot.Registers.end(),
                                     [&](const TSnapshotRegister& r) { return r.Name == name; });
        if (it == snapshot.Registers.end()) throw Error("no register named \"" + name + "\" in the snapshot");
        out.push_back(&*it);
    }
    return out;
}

std::string ReportMismatch(const TReportInput& in) {
    if (in.Before.Device != in.After.Device)
        return "the snapshot before was taken from " + in.Before.Device + ", the one after from " + in.After.Device;
    for (size_t i = 0; i < in.Runs.size(); ++i)
        if (!in.Runs[i].Device.empty() && in.Runs[i].Device != in.After.Device)
            return "calibration run " + std::to_string(i + 1) + " was made with " + in.Runs[i].Device +
                   ", the snapshots were taken from " + in.After.Device;
    return {};
}

namespace {

// The title, the service company, the report's number, the visit's details and
// the unit's identity.
void HeaderPart(std::string& html, const TReportInput& in) {
    const TSnapshot& before = in.Before;
    const TSnapshot& after = in.After;
    const std::vector<const TSnapshotRegister*> identity =
        in.Identity.empty() ? DefaultIdentity(after) : IdentityByNames(after, in.Identity);
    html += "<header id=\"header\">\n";
    if (!in.Company.empty()) html += "<p class=\"company\" id=\"company\">" + HtmlEscape(in.Company) + "</p>\n";
    html += "<h1>Protokół serwisowy" + (in.Number.empty() ? "" : " nr " + HtmlEscape(in.Number)) + "</h1>\n";
    for (const auto& [s, label] : {std::pair{&before, "przed"}, std::pair{&after, "po"}}) {
        if (const size_t failed = Failed(*s); failed > 0)
            html += std::string("<p class=\"warning incomplete\" id=\"incomplete-") +
                    (s == &before ? "before" : "after") + "\">Stan " + label +
                    " jest niekompletny: nie odczytano " + std::to_string(failed) + " z " +
                    Registers(s->Registers.size()) + ".</p>\n";
    }
    html += "<table class=\"details\" id=\"details\">\n";
    Detail(html, "Numer raportu", HtmlEscape(in.Number));
    Detail(html, "Firma serwisowa", HtmlEscape(in.Company));
    Detail(html, "Plik urządzenia", HtmlEscape(after.Device));
    Detail(html, "Port", HtmlEscape(!after.Port.empty() ? after.Port : before.Port));
    Detail(html, "Parametry łącza", HtmlEscape(LineSettingText(after.Mode)));
    Detail(html, "Adres urządzenia", std::to_string(after.Slave));
    Detail(html, "Data raportu", HtmlEscape(PolishDateTime(in.Created)));
    for (const auto& [label, s, file] : {std::tuple{"Stan przed", &before, &in.BeforeFile},
                                          std::tuple{"Stan po", &after, &in.AfterFile}})
        Detail(html, label, HtmlEscape(PolishDateTime(s->Time)) + (file->empty() ? "" : " (" + HtmlEscape(*file) + ")"));
    Detail(html, "Technik", HtmlEscape(in.Technician));
    Detail(html, "Miejsce", HtmlEscape(in.Site));
    Detail(html, "Uwagi", Lines(in.Notes));
    html += "</table>\n";

    html += "<h2>Identyfikacja urządzenia</h2>\n";
    // What the unit said of itself, as left (else as found).
    const std::optional<TSnapshotIdentification>& said = after.Identification ? after.Identification : before.Identification;
    if (identity.empty() && !said) {
        html += "<p class=\"none\" id=\"identity\">Brak rejestrów identyfikacji.</p>\n";
    } else {
        html += "<table id=\"identity\">\n";
        Head(html, {"Adres", "Rejestr", "Wartość"});
        if (said)
            for (const auto& [function, name, value] :
                 {std::tuple{"43/14", "Producent", &said->Vendor}, std::tuple{"43/14", "Kod produktu", &said->ProductCode},
                  std::tuple{"43/14", "Wersja", &said->Revision}, std::tuple{"17", "Identyfikator", &said->SlaveId}})
                if (!value->empty()) Row(html, {std::string("funkcja ") + function, name, HtmlEscape(*value)});
        for (const TSnapshotRegister* r : identity) {
            const TSnapshotRegister* b = before.Find(r->Name, r->Address);
            std::string value = Shown(r);
            if (b && b->Read() && r->Read() && b->Words != r->Words) value += " (przed: " + Side(b, false) + ")";
            Row(html, {HtmlEscape(r->Address), HtmlEscape(r->Name), value});
        }
        html += "</table>\n";
    }
    html += "</header>\n";
}

// The outcome of the visit, so that nothing else need be read to know it.
void SummaryPart(std::string& html, const TReportInput& in) {
    html += "<section id=\"summary\">\n<h2>Przebieg wizyty</h2>\n<p class=\"summary\">" + HtmlEscape(VisitSummary(in)) +
            "</p>\n</section>\n";
}

// Each calibration run with its readings and write; a write without a run as
// the write of a value typed in.
void CalibrationSection(std::string& html, const TReportInput& in) {
    html += "<section id=\"calibration\">\n<h2>Kalibracja i zapisy</h2>\n";
    if (in.Runs.empty()) html += "<p class=\"none\">Brak zapisanych kalibracji.</p>\n";
    for (size_t i = 0; i < in.Runs.size(); ++i) {
        const TCalibrationRun& run = in.Runs[i];
        const bool writeOnly = run.Readings.empty() && run.Write;
        html += "<div class=\"run\" id=\"run-" + std::to_string(i + 1) + "\">\n<h3>";
        if (writeOnly)
            html += "Zapis wartości do " + HtmlEscape(run.Write->Name);
        else
            html += "Kalibracja " + std::to_string(i + 1) + (run.Point.empty() ? "" : " – " + HtmlEscape(run.Point));
        html += "</h3>\n<table class=\"details\">\n";
        Detail(html, "Czas", HtmlEscape(PolishDateTime(run.Time)));
        if (!writeOnly) {
            Detail(html, "Liczba odczytów", std::to_string(run.Readings.size()));
            Detail(html, "Średnia", HtmlEscape(run.Mean));
            Detail(html, "err", HtmlEscape(run.Err));
            if (!run.Verdict.empty()) Detail(html, "Stabilność odczytów", HtmlEscape(StabilityText(run.Verdict)));
        }
        if (run.Write) {
            const TCalibrationWrite& w = *run.Write;
            Detail(html, "Zapis do", HtmlEscape(w.Address + "  " + w.Name));
            Detail(html, "Przed zapisem", Recorded(w.Before));
            Detail(html, "Zapisano", HtmlEscape(w.Written) + (writeOnly ? " (wpisana ręcznie)" : ""));
            if (w.After) Detail(html, "Odczyt po zapisie", Recorded(*w.After));
            html += std::string("<tr><th>Weryfikacja</th><td class=\"") +
                    (w.Verified() ? "verified" : "not-verified") + "\">" + HtmlEscape(VerificationText(w)) +
                    "</td></tr>\n";
        }
        html += "</table>\n";
        if (!run.Readings.empty()) {
            // Eight to a row, numbered: compact on paper, and a table pages as every table does.
            html += "<h4>Odczyty kalibracji " + std::to_string(i + 1) + "</h4>\n<table class=\"samples\">";
            for (size_t k = 0; k < run.Readings.size(); ++k)
                html += std::string(k % 8 == 0 ? "<tr>" : "") + "<td><span class=\"ordinal\">" + std::to_string(k + 1) +
                        ".</span> " + HtmlEscape(run.Readings[k]) + "</td>" +
                        (k % 8 == 7 || k + 1 == run.Readings.size() ? "</tr>" : "");
            html += "</table>\n";
        }
        if (i < in.RunPlots.size() && !in.RunPlots[i].empty())
            html += "<h4>Wykres kalibracji " + std::to_string(i + 1) + "</h4>\n<p class=\"plot\"><img width=\"480\" alt=\"wykres\" src=\"data:image/png;base64," +
                    Base64(in.RunPlots[i]) + "\"></p>\n";
        html += "</div>\n";
    }
    html += "</section>\n";
}

void FailedSection(std::string& html, const TSnapshot& before, const TSnapshot& after) {
    html += "<section id=\"failed\">\n<h2>Rejestry nieodczytane</h2>\n";
    if (Failed(before) + Failed(after) == 0) {
        html += "<p class=\"none\">Wszystkie rejestry odczytano.</p>\n";
    } else {
        html += "<table>\n";
        Head(html, {"Adres", "Rejestr", "Stan", "Przyczyna"});
        for (const auto& [s, label] : {std::pair{&before, "przed"}, std::pair{&after, "po"}})
            for (const TSnapshotRegister& r : s->Registers)
                if (!r.Read()) Row(html, {HtmlEscape(r.Address), HtmlEscape(r.Name), label, HtmlEscape(r.Error)}, "failed");
        html += "</table>\n";
    }
    html += "</section>\n";
}

// Where the technician and the customer sign: a line each with the name, the
// date and the signature. The technician's name is filled in when known.
void SignatureSection(std::string& html, const TReportInput& in) {
    // The widths as attributes too: Qt's PDF writer does not take them from the style.
    html += "<section id=\"signatures\">\n<h2>Podpisy</h2>\n<table class=\"signatures\" width=\"100%\">\n"
            "<thead><tr><th width=\"12%\"></th><th width=\"38%\">Imię i nazwisko</th><th width=\"15%\">Data</th>"
            "<th width=\"35%\">Podpis</th></tr></thead>\n";
    const std::string blank = "&nbsp;<br>&nbsp;<br>&nbsp;";
    for (const auto& [who, name] : {std::pair{"Technik", HtmlEscape(in.Technician)}, std::pair{"Klient", std::string()}})
    {
        html += std::string("<tr><th>") + who + "</th><td>";
        html += name.empty() ? blank : name;
        html += "</td><td>" + blank;
        html += "</td><td class=\"signature\">" + blank + "</td></tr>\n";
    }
    html += "</table>\n</section>\n";
}

// Every register before and after, with its words: the record behind the body.
void AppendixSection(std::string& html, const TSnapshot& before, const TSnapshot& after) {
    html += "<section id=\"appendix\">\n<h2 style=\"page-break-before: always\">Załącznik: wszystkie rejestry</h2>\n<table>\n";
    Head(html, {"Adres", "Rejestr", "Typ", "Dostęp", "Przed", "Po"});
    const auto appendixRow = [&](const TSnapshotRegister& r, const TSnapshotRegister* a, const TSnapshotRegister* b) {
        const bool same = a && b && a->Read() && b->Read() && a->Words == b->Words;
        Row(html, {HtmlEscape(r.Address), HtmlEscape(r.Name), HtmlEscape(r.Type), HtmlEscape(r.Access), Side(a, true),
                   Side(b, true)},
            same ? "register" : "register differs");
    };
    for (const TSnapshotRegister& r : before.Registers)
        if (before.Find(r.Name, r.Address) == &r) appendixRow(r, &r, after.Find(r.Name, r.Address));
    for (const TSnapshotRegister& r : after.Registers)
        if (after.Find(r.Name, r.Address) == &r && !before.Find(r.Name, r.Address)) appendixRow(r, nullptr, &r);
    html += "</table>\n</section>\n";
}

}  // namespace

std::string ReportHtml(const TReportInput& in) {
    std::string html;
    html += "<!DOCTYPE html>\n<html lang=\"pl\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<title>Protokół serwisowy" + (in.Number.empty() ? "" : " " + HtmlEscape(in.Number)) + " – " +
            HtmlEscape(in.After.Device) + " – " + HtmlEscape(PolishDateTime(in.Created)) + "</title>\n";
    html += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    HeaderPart(html, in);
    SummaryPart(html, in);
    CalibrationSection(html, in);
    ChangesSection(html, in.Before, in.After);
    if (in.SinceLast) SinceLastVisitSection(html, *in.SinceLast);
    ReadingsSection(html, in.Before, in.After);
    FailedSection(html, in.Before, in.After);
    SignatureSection(html, in);
    AppendixSection(html, in.Before, in.After);
    html += "</body>\n</html>\n";
    return html;
}

namespace {

// Polish letters without their marks.
char16_t Plain(char16_t c) {
    static const std::u16string_view from = u"ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
    static const std::u16string_view to = u"acelnoszzACELNOSZZ";
    const size_t at = from.find(c);
    return at == std::u16string_view::npos ? c : to[at];
}

std::string Clean(std::string_view text) {
    std::string out;
    bool dash = false;
    for (char16_t c : FromUtf8(text)) {
        c = Plain(c);
        const bool keep = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                          c == u'-' || c == u'_';
        if (keep) {
            if (dash && !out.empty()) out += '-';
            dash = false;
            out += static_cast<char>(c);
        } else {
            dash = true;
        }
    }
    return out;
}

bool Digits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string ReportFolderName(std::string_view time, std::string_view deviceFile, std::string_view serial) {
    std::vector<std::string> parts;
    // "YYYY-MM-DDTHH:MM..." -> "YYYY-MM-DD_HHMM"; a time of another form is left out.
    if (time.size() >= 16 && time[4] == '-' && time[7] == '-' && (time[10] == 'T' || time[10] == ' ') &&
        time[13] == ':' && Digits(time.substr(0, 4)) && Digits(time.substr(5, 2)) && Digits(time.substr(8, 2)) &&
        Digits(time.substr(11, 2)) && Digits(time.substr(14, 2)))
        parts.push_back(std::string(time.substr(0, 10)) + "_" + std::string(time.substr(11, 2)) +
                        std::string(time.substr(14, 2)));
    std::string device(deviceFile);
    if (device.size() > 4 && Lower(device.substr(device.size() - 4)) == ".dat") device.resize(device.size() - 4);
    for (const std::string& part : {Clean(device), Clean(serial)})
        if (!part.empty()) parts.push_back(part);
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : "_") + part;
    return out;
}

std::string SnapshotSerial(const TSnapshot& snapshot) {
    const std::string serialName = ToUtf8(kSerialRegisterName);
    for (const TSnapshotRegister& r : snapshot.Registers)
        if (r.Read() && r.Name == serialName) return r.Value;
    for (const TSnapshotRegister* r : DefaultIdentity(snapshot))
        if (r->Read() && Holds(r->Name, {"numer", "serial"})) return r->Value;
    return {};
}

std::string ReportFolderName(const TSnapshot& snapshot) {
    return ReportFolderName(snapshot.Time, snapshot.Device, SnapshotSerial(snapshot));
}

}  // namespace vyx::service
