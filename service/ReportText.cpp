// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/ReportText.h"

#include <cstring>
#include <tuple>
#include <vector>

namespace vyx::service {
namespace {

// The number the text is made of, when it is digits only; -1 otherwise.
int Number(std::string_view text) {
    if (text.empty() || text.size() > 7) return -1;
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string Join(const std::vector<std::string>& parts, const char* by) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : by) + part;
    return out;
}

std::string Capital(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char by) {
    std::vector<std::string_view> parts;
    for (size_t from = 0;;) {
        const size_t at = text.find(by, from);
        parts.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return parts;
        from = at + 1;
    }
}

}  // namespace

std::string PolishDateTime(std::string_view iso) {
    // In the genitive, as a date is read: "9 grudnia".
    static const char* const kMonths[] = {"stycznia", "lutego",    "marca",    "kwietnia", "maja",         "czerwca",
                                          "lipca",    "sierpnia",  "września", "października", "listopada", "grudnia"};
    if (iso.size() < 10 || iso[4] != '-' || iso[7] != '-') return std::string(iso);
    const int year = Number(iso.substr(0, 4)), month = Number(iso.substr(5, 2)), day = Number(iso.substr(8, 2));
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return std::string(iso);
    std::string out = std::to_string(day) + " " + kMonths[month - 1] + " " + std::string(iso.substr(0, 4));
    if (iso.size() == 10) return out;
    if (iso.size() < 16 || (iso[10] != 'T' && iso[10] != ' ') || iso[13] != ':') return std::string(iso);
    const int hour = Number(iso.substr(11, 2)), minute = Number(iso.substr(14, 2));
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return std::string(iso);
    return out + ", " + std::string(iso.substr(11, 5));
}

std::string LineSettingText(std::string_view mode) {
    const std::vector<std::string_view> parts = Split(mode, ',');
    if (parts.size() != 4) return std::string(mode);
    const int speed = Number(parts[0]), data = Number(parts[2]), stop = Number(parts[3]);
    const std::string_view parity = parts[1];
    if (speed <= 0 || data < 5 || data > 8 || stop < 1 || stop > 2) return std::string(mode);
    std::string parityText;
    if (parity == "n" || parity == "N")
        parityText = "brak parzystości";
    else if (parity == "e" || parity == "E")
        parityText = "parzystość parzysta";
    else if (parity == "o" || parity == "O")
        parityText = "parzystość nieparzysta";
    else
        return std::string(mode);
    return std::to_string(speed) + " bit/s, " + parityText + ", " + std::to_string(data) + " bitów danych, " +
           std::to_string(stop) + (stop == 1 ? " bit stopu" : " bity stopu");
}

std::string CountText(size_t n, const char* one, const char* few, const char* many) {
    const size_t units = n % 10, tens = n % 100;
    const char* word = n == 1 ? one : (units >= 2 && units <= 4 && (tens < 12 || tens > 14)) ? few : many;
    return std::to_string(n) + " " + word;
}

std::string StabilityText(std::string_view verdict) {
    // "stabilny: rozrzut A <= B" or "niestabilny: rozrzut A > B", as the window and vyx write it.
    for (const auto& [head, sign, said] : {std::tuple{"stabilny: rozrzut ", " <= ", " w tolerancji "},
                                          std::tuple{"niestabilny: rozrzut ", " > ", " poza tolerancją "}}) {
        const std::string_view h = head;
        if (verdict.substr(0, h.size()) != h) continue;
        const std::string_view rest = verdict.substr(h.size());
        const size_t at = rest.find(sign);
        if (at == std::string_view::npos) continue;
        return "rozrzut " + std::string(rest.substr(0, at)) + said + std::string(rest.substr(at + std::strlen(sign)));
    }
    return "stabilność odczytów: " + std::string(verdict);
}

std::string VerificationText(const TCalibrationWrite& w) {
    if (w.Verified() || !w.Sent || !w.WriteError.empty() || !w.After || !w.After->Read()) return w.Verification();
    std::string text = "odczytano " + w.After->Value + " zamiast " + w.Written;
    if (w.After->Value == w.Written) text += " (słowa rejestru różnią się)";
    return text;
}

std::string WriteText(const TCalibrationRun& run) {
    if (!run.Write) return {};
    const TCalibrationWrite& w = *run.Write;
    const bool mean = !run.Readings.empty() && w.Written == run.Mean;
    return std::string(mean ? "zapis średniej " : "zapis wartości ") + w.Written + " do " + w.Name +
           (mean ? "" : ", wpisana ręcznie") + ", " + VerificationText(w);
}

std::string VisitSummary(const TReportInput& in) {
    std::vector<std::string> sentences;
    for (const TCalibrationRun& run : in.Runs) {
        if (run.Readings.empty()) {
            sentences.push_back(run.Write ? WriteText(run) : "kalibracja bez odczytów i bez zapisu");
            continue;
        }
        std::string s = "kalibracja" + (run.Point.empty() ? std::string() : " punktu " + run.Point) + ": " +
                        CountText(run.Readings.size(), "odczyt", "odczyty", "odczytów") + ", średnia " + run.Mean;
        if (!run.Verdict.empty()) s += ", " + StabilityText(run.Verdict);
        s += run.Write ? "; " + WriteText(run) : "; średniej nie zapisano";
        sentences.push_back(std::move(s));
    }
    if (in.Runs.empty()) sentences.emplace_back("nie przeprowadzono kalibracji ani zapisów");

    std::vector<std::string> changed;
    for (const TDifference& d : ChangedRegisters(in.Before, in.After)) changed.push_back(d.B->Name);
    sentences.push_back(changed.empty() ? std::string("nie zmieniono żadnego rejestru (RW/RP)")
                                        : "zmienione rejestry (RW/RP): " + std::to_string(changed.size()) + " – " +
                                              Join(changed, ", "));

    std::vector<std::string> unread;
    for (const auto& [s, label] : {std::pair{&in.Before, " (przy przyjęciu)"}, std::pair{&in.After, " (przy oddaniu)"}})
        for (const TSnapshotRegister* r : s->Unread()) unread.push_back(r->Name + label);
    sentences.push_back(unread.empty() ? std::string("odczytano wszystkie rejestry przy przyjęciu i przy oddaniu")
                                       : "nie odczytano: " + Join(unread, ", "));

    std::string out;
    for (const std::string& s : sentences) out += (out.empty() ? "" : " ") + Capital(s) + ".";
    return out;
}

}  // namespace vyx::service
