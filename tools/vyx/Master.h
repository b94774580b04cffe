#pragma once
// The bus master on the command line, shared by its subcommands: read, write and
// reset (Master.cpp), walk, monitor and calibrate (Sequenced.cpp). Each opens the
// port and finds its register in a session, runs the same transaction as the
// window through a console view, and ends with the exit status of the outcome.
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "modbus/Frame.h"
#include "modbus/Transaction.h"
#include "registers/RegisterTree.h"
#include "serial/Serial.h"
#include "tools/vyx/Options.h"

namespace vyx::master {

// Exit statuses of the master commands, beside those of Commands.h.
inline constexpr int kExitCrcError = 2;
inline constexpr int kExitException = 3;
inline constexpr int kExitTimeout = 4;

extern const char kCommonOptions[];

// The window's faces of a transaction, on a terminal: result lines on standard
// output, messages on standard error, with --hex the frames too.
class TConsoleView : public TTransactionView {
public:
    explicit TConsoleView(bool hex) : hex_(hex) {}
    void ShowMessage(std::u16string_view text) override;
    void AppendCommLine(std::u16string_view line) override;
    void AppendResultLine(std::u16string_view line) override;
    void SetLed(TLed, TColor) override {}
    void SetLedTimerInterval(TLed, int) override {}
    void EnableLedTimer(TLed, bool) override {}
    void StartHighlightTimer() override {}
    void StopHighlightTimer() override {}
    void ProcessPendingEvents() override;
    bool MonitorTicked() const override { return Monitor; }
    std::u16string TimeOfDay() const override;
    void BeginTreeUpdate() override {}
    void EndTreeUpdate() override {}
    void RepaintTree() override {}
    void OnNextStep() override {
        if (NextStep) NextStep();
    }

    std::function<void()> NextStep;  // message 1025
    bool Monitor = false;            // readings are printed with their time
    bool Results = true;             // result lines are printed
    int Messages = 0;                // message boxes shown

private:
    bool hex_;
};

using vyx::TOutcome;
inline TOutcome OutcomeOf(const TTransaction& t) { return t.Outcome; }
// Says on standard error what went wrong with a reply, as the panes show it;
// an exception reply with its code and meaning.
void ReportOutcome(const TTransaction& t, TOutcome o);
int ExitStatus(TOutcome o);

struct TSession {
    TSerial port;
    TFrame frame;
    std::unique_ptr<TConsoleView> view;
    std::unique_ptr<TTransaction> transaction;
    TRegisterTree tree;
    TNode* node = nullptr;
    std::u16string slave;
};

// Parses the options (the common ones and `valued`, `flags`), opens the session
// and runs `body`; prints the usage for --help and any error on standard error.
int Run(const char* command, int argc, char** argv, const char* usage, int (*body)(TSession&, const cli::Options&),
        bool needRegister, const std::set<std::string>& valued = {}, const std::set<std::string>& flags = {});

}  // namespace vyx::master
