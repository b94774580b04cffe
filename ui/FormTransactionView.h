// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1's overrides of TTransactionView (SequenceView.cpp and the panes), read
// inside TForm1's declaration in ui/MainWindow.h and nowhere else, hence no
// guard: the messages, the two panes' lines, a result, the indicators' moments,
// a value being stored and the outcome of an exchange.
    void ShowMessage(std::u16string_view text) override;
    void AppendCommLine(std::u16string_view line) override;
    void AppendResultLine(std::u16string_view line) override;
    void ShowResult(const TLog& log) override;
    void RequestSent() override;
    void ExchangeEnded(bool heard) override;
    void StoringValue(const TNode& node) override;
    void ValueStored(const TNode& node) override;
    void OnNextStep() override;
    void OutcomeKnown(TOutcome outcome) override;
