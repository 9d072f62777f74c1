#include "app/OpenDialog.h"

#include "app/Dialogs.h"
#include "codec/Graphic.h"
#include "codec/Registry.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

std::optional<QString> ChoosePictureFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Open"));
    dialog.setObjectName(QStringLiteral("OpenPictureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The registry's filter text with its patterns space-separated; Linux names are case-sensitive, so
    // every pattern is offered in lower case as well.
    QStringList filters;
    const QStringList parts = FullOpenDialogFilter().split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const int paren = description.lastIndexOf(QLatin1String(" ("));
        if (paren > 0 && description.endsWith(QLatin1Char(')'))) description.truncate(paren);
        const QStringList upper = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList patterns = upper;
        for (const QString& p : upper)
            patterns << p.toLower();
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    dialog.setNameFilters(filters);

    // The preview: the selected file loaded by its extension.
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setFixedSize(180, 180);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& file) {
        preview->clear();
        const QFileInfo info(file);
        TGraphicClass cls = info.isFile() ? GraphicClassByExtension(info.suffix()) : nullptr;
        if (!cls) return;
        try {
            std::unique_ptr<TGraphic> g = cls->Create();
            g->LoadFromFileName(file);
            if (g->IsEmpty() || g->Width() <= 0 || g->Height() <= 0) return;
            const QSize size = QSize(g->Width(), g->Height()).scaled(QSize(176, 176), Qt::KeepAspectRatio);
            preview->setPixmap(QPixmap::fromImage(g->ToImage(size.expandedTo(QSize(1, 1)))));
            preview->setToolTip(QStringLiteral("%1 x %2").arg(g->Width()).arg(g->Height()));
        } catch (const Exception&) {
        } catch (const std::bad_alloc&) {
        }
    });
    if (Dialogs().Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

