// Dialogs answered by a test: every message is recorded and answered from a queue (else with its
// default button, or its first), input boxes and choosers from their queues (else Cancel), and any
// dialog of ours through a callback that fills its controls and returns its result code.
#pragma once

#include "app/Dialogs.h"

#include <gtest/gtest.h>

#include <QDialog>

#include <deque>
#include <functional>
#include <vector>

struct TShownMessage {
    QMessageBox::Icon Icon;
    QString Caption;
    QString Text;
    QString Details;
    QMessageBox::StandardButtons Buttons;
};

class TScriptedDialogs : public IDialogs {
public:
    TScriptedDialogs() { SetDialogs(this); }
    ~TScriptedDialogs() override { SetDialogs(nullptr); }

    std::vector<TShownMessage> Messages;
    std::deque<QMessageBox::StandardButton> Answers;
    std::deque<std::optional<QString>> Inputs;
    std::deque<std::optional<QString>> Folders;
    std::deque<std::optional<QColor>> Colors;
    std::deque<std::optional<QFont>> Fonts;
    // Captions, prompts and initial texts of the input boxes shown.
    QStringList InputCaptions;
    QStringList Prompts;
    QStringList InputValues;
    // Captions and starting folders of the folder choosers shown.
    QStringList FolderCaptions;
    QStringList FolderStarts;
    // Answers a dialog of ours; without one every dialog is cancelled.
    std::function<int(QDialog&)> OnExec;
    int ExecCount = 0;
    // Answers the next dialog, which must be a T: the answer fills its controls and clicks its buttons
    // (accept() or reject() give the result; untouched, it is rejected). Queued before OnExec.
    template <class T> void AnswerNext(std::function<void(T*)> answer) {
        FQueued.push_back([answer](QDialog& d) {
            auto* dialog = qobject_cast<T*>(&d);
            if (!dialog) {
                ADD_FAILURE() << "an unexpected dialog: " << d.metaObject()->className();
                return int(QDialog::Rejected);
            }
            d.setResult(QDialog::Rejected);
            answer(dialog);
            return d.result();
        });
    }
    bool AllAnswered() const { return FQueued.empty(); }

    QMessageBox::StandardButton Message(QWidget*, const TMessage& m) override {
        Messages.push_back({m.Icon, m.Caption, m.Text, m.Details, m.Buttons});
        if (!Answers.empty()) {
            const QMessageBox::StandardButton answer = Answers.front();
            Answers.pop_front();
            return answer;
        }
        if (m.Default != QMessageBox::NoButton) return m.Default;
        for (int bit = 0; bit < 32; ++bit)
            if (m.Buttons.testFlag(QMessageBox::StandardButton(1u << bit))) return QMessageBox::StandardButton(1u << bit);
        return QMessageBox::Ok;
    }
    std::optional<QString> InputText(QWidget*, const QString& caption, const QString& prompt, const QString& value) override {
        InputCaptions << caption;
        Prompts << prompt;
        InputValues << value;
        return Take(Inputs);
    }
    std::optional<QString> ChooseFolder(QWidget*, const QString& caption, const QString& start) override {
        FolderCaptions << caption;
        FolderStarts << start;
        return Take(Folders);
    }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&, const QString&) override { return Take(Colors); }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&, const QString&) override { return Take(Fonts); }
    int Exec(QDialog& dialog) override {
        ++ExecCount;
        if (!FQueued.empty()) {
            const std::function<int(QDialog&)> answer = std::move(FQueued.front());
            FQueued.pop_front();
            return answer(dialog);
        }
        return OnExec ? OnExec(dialog) : int(QDialog::Rejected);
    }

private:
    std::deque<std::function<int(QDialog&)>> FQueued;

    template <class T> static std::optional<T> Take(std::deque<std::optional<T>>& queue) {
        if (queue.empty()) return std::nullopt;
        std::optional<T> value = queue.front();
        queue.pop_front();
        return value;
    }
};
