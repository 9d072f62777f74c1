// The dialog service of the window benchmarks: messages are printed to stderr, never shown, and every
// other dialog is cancelled.
#pragma once

#include "app/Dialogs.h"

#include <cstdio>

struct TPrintedDialogs : IDialogs {
    explicit TPrintedDialogs(const char* program) : Program(program) {}
    QMessageBox::StandardButton Message(QWidget*, const TMessage& m) override {
        std::fprintf(stderr, "%s: %s\n", Program, qPrintable(m.Text));
        return QMessageBox::Ok;
    }
    std::optional<QString> InputText(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QColor> ChooseColor(QWidget*, const QColor&, const QString&) override { return {}; }
    std::optional<QFont> ChooseFont(QWidget*, const QFont&, const QString&) override { return {}; }
    int Exec(QDialog&) override { return 0; }
    const char* Program;
};
