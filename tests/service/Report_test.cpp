// SPDX-License-Identifier: GPL-3.0-or-later
// The service report's document, read by its structure, the identity registers
// and the name of a unit's service folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>

#include "base/Error.h"
#include "base/SafeSave.h"
#include "service/Report.h"
#include "service/ReportNumber.h"
#include "service/ReportText.h"

using namespace vyx;
using namespace vyx::service;
namespace fs = std::filesystem;

namespace {

TSnapshotRegister Reg(const char* name, const char* address, const char* type, const char* access, const char* value,
                      std::vector<uint16_t> words, const char* error = "") {
    return {name, address, type, std::to_string(words.empty() ? 1 : words.size()), access,
            error[0] ? "" : value, error[0] ? std::vector<uint16_t>{} : std::move(words), error, ""};
}

TSnapshot Unit(const char* n100Value, uint16_t n100Word) {
    TSnapshot s;
    s.Device = "VXT-20F.dat";
    s.Slave = 247;
    s.Mode = "19200,e,8,1";
    s.Time = "2026-12-08T14:30:05+01:00";
    s.Registers = {
        Reg("R0", "30001", "INT", "RO", "1000", {1000}),
        Reg("N100", "40001", "REAL", "RW", n100Value, {n100Word, 0}),
        Reg("Nazwa punktu pomiarowego", "40020", "TEXT", "RW", "Zbiornik", {0x5A62}),
        Reg("Typ urządzenia", "40050", "TEXT", "RO", "VXT-20F", {0x5658}),
        Reg("Wersja oprogramowania", "40058", "HEX", "RO", "$0502", {0x0502}),
        Reg("Numer fabryczny", "40059", "WORD", "RO", "10234", {10234}),
        Reg("Czas pracy", "40060", "FLOAT", "RO", "1234,50", {0x449A, 0x5000}),
    };
    return s;
}

// The rows of the first table at the element with this id (header rows left
// out), as their cell texts joined by '|'.
std::vector<std::string> Rows(const std::string& html, const std::string& id) {
    const size_t start = html.find("id=\"" + id + "\"");
    if (start == std::string::npos) return {};
    const size_t end = std::min(html.find("</table>", start), html.find("</section>", start));
    const std::string part = html.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::vector<std::string> rows;
    const std::regex row(R"(<tr[^>]*>(.*?)</tr>)"), cell(R"(<t[hd][^>]*>(.*?)</t[hd]>)");
    for (auto r = std::sregex_iterator(part.begin(), part.end(), row); r != std::sregex_iterator(); ++r) {
        const std::string inner = (*r)[1];
        if (inner.find("<td") == std::string::npos) continue;
        std::string text;
        for (auto c = std::sregex_iterator(inner.begin(), inner.end(), cell); c != std::sregex_iterator(); ++c)
            text += (text.empty() ? "" : "|") + std::regex_replace((*c)[1].str(), std::regex("<[^>]*>"), "");
        if (!text.empty()) rows.push_back(text);
    }
    return rows;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TReportInput Input() {
    TReportInput in;
    in.Before = Unit("1000,00", 0x447A);
    in.After = Unit("1002,00", 0x447A);
    in.After.Registers[1].Words = {0x447A, 0x8000};
    in.Created = "2026-12-08T15:10:00+01:00";
    TCalibrationRun run;
    run.Point = "100R";
    run.Readings = {"1001", "1003"};
    run.Mean = "1002";
    run.Err = "0,707";
    TCalibrationWrite w;
    w.Name = "N100";
    w.Address = "40001";
    w.Before = {"1000,00", {0x447A, 0}, ""};
    w.Written = "1002";
    w.WrittenWords = {0x447A, 0x8000};
    w.Sent = true;
    w.After = TRecordedValue{"1002,00", {0x447A, 0x8000}, ""};
    run.Write = w;
    in.Runs = {run};
    return in;
}

}  // namespace

TEST(Report, IdentityIsTheReadOnlyTextsAndTheNumberedNames) {
    const TSnapshot s = Unit("1000,00", 0x447A);
    std::vector<std::string> names;
    for (const TSnapshotRegister* r : DefaultIdentity(s)) names.push_back(r->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Typ urządzenia", "Wersja oprogramowania", "Numer fabryczny"}));
    EXPECT_EQ(IdentityByNames(s, {"Czas pracy", "R0"}).at(0)->Name, "Czas pracy");
    EXPECT_THROW(IdentityByNames(s, {"Brak"}), Error);
}

TEST(Report, TheDocumentHoldsEachPartByItsStructure) {
    TReportInput in = Input();
    in.Technician = "Jan <script>alert(1)</script> Kowalski";
    in.Notes = "wymiana \"czujnika\"\ndruga linia";
    in.After.Registers[6] = Reg("Czas pracy", "40060", "FLOAT", "RO", "", {}, "brak odpowiedzi");
    const std::string html = ReportHtml(in);

    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("Jan &lt;script&gt;alert(1)&lt;/script&gt; Kowalski"), std::string::npos);
    EXPECT_NE(html.find("wymiana &quot;czujnika&quot;<br>druga linia"), std::string::npos);
    EXPECT_EQ(Count(html, "src="), 0u);
    EXPECT_EQ(Count(html, "href="), 0u);
    EXPECT_NE(html.find("@page"), std::string::npos);

    EXPECT_EQ(Rows(html, "identity"), (std::vector<std::string>{"40050|Typ urządzenia|VXT-20F",
                                                                "40058|Wersja oprogramowania|$0502",
                                                                "40059|Numer fabryczny|10234"}));
    // A register that failed to read is no change: it is named among the failed.
    EXPECT_EQ(Rows(html, "changes"), (std::vector<std::string>{"40001|N100|1000,00|1002,00"}));
    EXPECT_EQ(Rows(html, "failed"), (std::vector<std::string>{"40060|Czas pracy|po|brak odpowiedzi"}));
    EXPECT_EQ(Rows(html, "appendix").size(), in.Before.Registers.size());
    EXPECT_EQ(Count(html, "class=\"register differs\""), 2u);
    // The incomplete snapshot is named before the first section.
    const size_t note = html.find("id=\"incomplete-after\"");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LT(note, html.find("<section"));
    EXPECT_EQ(html.find("id=\"incomplete-before\""), std::string::npos);

    const std::vector<std::string> run = Rows(html, "run-1");
    EXPECT_NE(std::find(run.begin(), run.end(), "Weryfikacja|zweryfikowano"), run.end());
    EXPECT_NE(html.find("<tr><td><span class=\"ordinal\">1.</span> 1001</td><td><span class=\"ordinal\">2.</span> 1003</td></tr>"),
              std::string::npos);
}

TEST(Report, AChosenIdentityAndACompleteUnit) {
    TReportInput in = Input();
    in.Identity = {"Czas pracy"};
    in.After.Port = "mbtcp://10.0.0.5:502";  // a network port has no line settings
    in.After.Mode.clear();
    // What the unit said of itself comes through its snapshot's file.
    in.After.Identification = TSnapshotIdentification{"vyx <sim>", "VXT-20F", "", "247, FF, VXT-20F"};
    in.After = SnapshotFromJson(nlohmann::json::parse(SnapshotToJson(in.After).dump()));
    const std::string html = ReportHtml(in);
    const std::vector<std::string> details = Rows(html, "details");
    EXPECT_NE(std::find(details.begin(), details.end(), "Port|mbtcp://10.0.0.5:502"), details.end());
    EXPECT_EQ(html.find("Parametry łącza"), std::string::npos);
    EXPECT_EQ(Rows(html, "identity"),
              (std::vector<std::string>{"funkcja 43/14|Producent|vyx &lt;sim&gt;", "funkcja 43/14|Kod produktu|VXT-20F",
                                        "funkcja 17|Identyfikator|247, FF, VXT-20F", "40060|Czas pracy|1234,50"}));
    EXPECT_EQ(html.find("incomplete"), std::string::npos);
    EXPECT_EQ(Rows(html, "failed"), std::vector<std::string>{});
    in.Identity = {"Brak"};
    EXPECT_THROW(ReportHtml(in), Error);
}

TEST(Report, InputsOfOtherDeviceFilesAreNamed) {
    TReportInput in = Input();
    EXPECT_EQ(ReportMismatch(in), "");
    in.Runs[0].Device = "VXP-10.dat";
    EXPECT_NE(ReportMismatch(in).find("VXP-10.dat"), std::string::npos);
    in.Runs.clear();
    in.After.Device = "VXP-10.dat";
    EXPECT_NE(ReportMismatch(in).find("VXP-10.dat"), std::string::npos);
}

TEST(Report, FolderName) {
    const struct {
        const char *time, *device, *serial, *name;
    } cases[] = {
        {"2026-12-08T14:30:05+01:00", "VXT-20F.dat", "10234", "2026-12-08_1430_VXT-20F_10234"},
        {"2026-01-02T03:04:05-05:00", "VXT-20F.DAT", "", "2026-01-02_0304_VXT-20F"},
        {"2026-12-08T14:30:05+01:00", "Czujnik ciśnienia.dat", "AB 12/3", "2026-12-08_1430_Czujnik-cisnienia_AB-12-3"},
        {"2026-12-08T14:30:05+01:00", "../x.dat", " **", "2026-12-08_1430_x"},
        {"wczoraj", "VXT_20F.dat", "Nr: 7", "VXT_20F_Nr-7"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportFolderName(c.time, c.device, c.serial), c.name) << c.time;
    EXPECT_EQ(ReportFolderName(Unit("1000,00", 0x447A)), "2026-12-08_1430_VXT-20F_10234");
    // "Numer fabryczny" is the serial number even after another numbered register;
    // without it, the first numbered one read.
    TSnapshot unit = Unit("1000,00", 0x447A);
    unit.Registers.insert(unit.Registers.begin(), Reg("Numer kanału", "40002", "WORD", "RW", "3", {3}));
    EXPECT_EQ(SnapshotSerial(unit), "10234");
    unit.Registers[6].Name = "Kod";  // "Numer fabryczny" gone
    EXPECT_EQ(SnapshotSerial(unit), "3");
}

TEST(Report, OnlyWritableRegistersChangeTheReadOnlyOnesAreReadings) {
    TReportInput in = Input();
    in.After.Registers[0] = Reg("R0", "30001", "INT", "RO", "1001", {1001});  // a measurement moves
    in.Before.Registers.push_back(Reg("Licznik", "30010", "WORD", "ro", "332", {332}));
    in.After.Registers.push_back(Reg("Licznik", "30010", "WORD", "ro", "333", {333}));
    in.Before.Registers.push_back(Reg("Stała", "40070", "WORD", "RP", "5", {5}));
    in.After.Registers.push_back(Reg("Stała", "40070", "WORD", "RP", "7", {7}));  // a constant written
    const std::string html = ReportHtml(in);
    EXPECT_EQ(Rows(html, "changes"), (std::vector<std::string>{"40001|N100|1000,00|1002,00", "40070|Stała|5|7"}));
    EXPECT_EQ(Rows(html, "readings"), (std::vector<std::string>{"30001|R0|1000|1001", "30010|Licznik|332|333"}));
    // Nothing read-only moved: no readings section at all.
    EXPECT_EQ(ReportHtml(Input()).find("id=\"readings\""), std::string::npos);
}

TEST(Report, DatesAndLineSettingsInPolishWords) {
    const struct {
        const char *code, *text;
    } dates[] = {
        {"2026-12-09T00:36:09+00:00", "9 grudnia 2026, 00:36"},  // the local time as written, whatever the offset
        {"2026-01-31T23:59:00-05:00", "31 stycznia 2026, 23:59"},
        {"2027-02-01T08:05:00+01:00", "1 lutego 2027, 08:05"},
        {"2026-09-15T12:00:00+02:00", "15 września 2026, 12:00"},
        {"2026-10-03", "3 października 2026"},
        {"2026-13-01T10:00:00", "2026-13-01T10:00:00"},  // not a date: as it stands
        {"wczoraj", "wczoraj"},
        {"", ""},
    };
    for (const auto& d : dates) EXPECT_EQ(PolishDateTime(d.code), d.text) << d.code;
    const struct {
        const char *code, *text;
    } lines[] = {
        {"19200,e,8,1", "19200 bit/s, parzystość parzysta, 8 bitów danych, 1 bit stopu"},
        {"9600,n,8,2", "9600 bit/s, brak parzystości, 8 bitów danych, 2 bity stopu"},
        {"115200,o,8,1", "115200 bit/s, parzystość nieparzysta, 8 bitów danych, 1 bit stopu"},
        {"19200,x,8,1", "19200,x,8,1"},
        {"", ""},
    };
    for (const auto& l : lines) EXPECT_EQ(LineSettingText(l.code), l.text) << l.code;
}

TEST(Report, TheBodyShowsValuesWithTheirNotesAndTheWordsOnlyInTheAppendix) {
    TReportInput in = Input();
    in.After.Registers[1].Note = "Punkt 100 Ω";
    // A note goes through a snapshot's file; one without notes still loads.
    in.After = SnapshotFromJson(nlohmann::json::parse(SnapshotToJson(in.After).dump()));
    EXPECT_EQ(in.After.Registers[1].Note, "Punkt 100 Ω");
    const std::string html = ReportHtml(in);
    EXPECT_EQ(Rows(html, "changes"), (std::vector<std::string>{"40001|N100|1000,00|1002,00 (Punkt 100 Ω)"}));
    const size_t appendix = html.find("id=\"appendix\"");
    EXPECT_EQ(html.substr(0, appendix).find("447A"), std::string::npos);
    EXPECT_NE(html.find("447A 8000", appendix), std::string::npos);
    const std::vector<std::string> details = Rows(html, "details");
    for (const char* row : {"Parametry łącza|19200 bit/s, parzystość parzysta, 8 bitów danych, 1 bit stopu",
                            "Data raportu|8 grudnia 2026, 15:10"})
        EXPECT_NE(std::find(details.begin(), details.end(), row), details.end()) << row;
}

TEST(Report, TheVisitInOneParagraphAndAWriteWithoutARun) {
    TReportInput in = Input();
    in.Runs[0].Verdict = "stabilny: rozrzut 2,00 <= 3,00";
    TCalibrationRun typed;  // "Zapisz" with no calibration run
    typed.Write = in.Runs[0].Write;
    typed.Write->Name = "N400";
    typed.Write->Written = "1000";
    in.Runs.push_back(typed);
    in.After.Registers[6] = Reg("Czas pracy", "40060", "FLOAT", "RO", "", {}, "brak odpowiedzi");
    const std::string html = ReportHtml(in);
    const size_t at = html.find("<p class=\"summary\">");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(html.substr(at + 19, html.find("</p>", at) - at - 19),
              "Kalibracja punktu 100R: 2 odczyty, średnia 1002, rozrzut 2,00 w tolerancji 3,00; zapis średniej 1002 do "
              "N100, zweryfikowano. Zapis wartości 1000 do N400, wpisana ręcznie, zweryfikowano. Zmienione rejestry "
              "(RW/RP): 1 – N100. Nie odczytano: Czas pracy (przy oddaniu).");
    EXPECT_EQ(html.find("Liczba odczytów|0"), std::string::npos);
    EXPECT_EQ(Count(html, "Liczba odczytów"), 1u);
    EXPECT_NE(html.find("<h3>Zapis wartości do N400</h3>"), std::string::npos);
    for (const auto& [n, text] : {std::pair{1, "1 odczyt"}, {4, "4 odczyty"}, {5, "5 odczytów"}, {12, "12 odczytów"},
                                  {22, "22 odczyty"}})
        EXPECT_EQ(CountText(n, "odczyt", "odczyty", "odczytów"), text);
}

TEST(Report, NumbersAndSignatures) {
    const fs::path folder = fs::temp_directory_path() / ("vyx-report-test-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    EXPECT_EQ(NextReportNumber(folder / "nie ma", 2026), "SR-2026-0001");
    EXPECT_EQ(NextReportNumber(folder, 2026), "SR-2026-0001");
    RecordReportNumber(folder, "SR-2026-0001", "2026-12-08_1430_VXT-20F_10234");
    EXPECT_EQ(NextReportNumber(folder, 2026), "SR-2026-0002");
    // A report named by its number, one level down, counts even beside the index; other years do not.
    fs::create_directories(folder / "stare");
    SaveFileBytes(folder / "stare" / "SR-2026-0041.html", "");
    SaveFileBytes(folder / "SR-2025-0099.html", "");
    EXPECT_EQ(NextReportNumber(folder, 2026), "SR-2026-0042");
    EXPECT_EQ(NextReportNumber(folder, 2027), "SR-2027-0001");
    RecordReportNumber(folder, "SR-2026-0042", "b");
    EXPECT_EQ(NextReportNumber(folder, 2026), "SR-2026-0043");
    fs::remove_all(folder);

    TReportInput in = Input();
    in.Number = "SR-2026-0042";
    in.Company = "Serwis <Żółć>";
    in.Technician = "Jan Kowalski";
    const std::string html = ReportHtml(in);
    EXPECT_NE(html.find("<h1>Protokół serwisowy nr SR-2026-0042</h1>"), std::string::npos);
    EXPECT_LT(html.find("Serwis &lt;Żółć&gt;"), html.find("<h1>"));
    const std::vector<std::string> signatures = Rows(html, "signatures");
    ASSERT_EQ(signatures.size(), 2u);
    EXPECT_EQ(signatures[0].substr(0, 22), "Technik|Jan Kowalski|&");
    EXPECT_EQ(signatures[1].substr(0, 8), "Klient|&");
    EXPECT_LT(html.find("id=\"signatures\""), html.find("id=\"appendix\""));
}
