#pragma once

#include <optional>
#include <string>

#include <QFileDialog>
#include <QTest>

#include "ui/tform1.h"
#include "ui/celleditor.h"
#include "ui/valuegrid.h"
#include "press.h"
#include "uitestutil.h"

namespace tavolin::test {

// The real window, its message windows recorded, its open-file dialog
// answered at once.
struct WindowFixture {
    RecordingSink sink;
    TForm1 window{sink};
    TempDir dir;
    QString dialogStartPath; // what the dialog was opened with, last time

    WindowFixture()
    {
        window.show();
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window);
    }

    // Open with `path` typed into the dialog, or cancelled when nothing.
    void Open(const std::optional<std::string>& path)
    {
        window.SetDialogRunner([this, path](QFileDialog& dialog) -> std::optional<QString> {
            const QStringList selected = dialog.selectedFiles();
            dialogStartPath = selected.isEmpty() ? QString() : selected.front();
            if (!path)
                return std::nullopt;
            return QString::fromStdString(*path);
        });
        window.Open1Click();
    }

    std::string Write(const std::string& name, const Bytes& bytes) { return dir.Write(name, bytes); }
    CellEditor* Editor() const { return window.vle()->Editor(); }
    const StringTable& Vle() const { return window.Tables().vle; }
};

} // namespace tavolin::test
