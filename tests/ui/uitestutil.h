#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "testutil.h"
#include "ui/messagesink.h"

namespace tavolin::test {

// Remembers what would have been shown, and shows nothing.
class RecordingSink : public MessageSink {
public:
    void ShowError(const QString& text) override { errors << text; }
    void ShowMessage(const QString& text) override { messages << text; }
    bool Ask(const QString& text) override
    {
        questions << text;
        return answer;
    }
    void Clear()
    {
        errors.clear();
        messages.clear();
        questions.clear();
    }

    QStringList errors;
    QStringList messages;
    QStringList questions;
    bool answer = false; // to every question
};

// A string slot of a made-up resource file: its capacity and its characters.
struct Slot {
    int capacity;
    std::u16string text;
};

// A file of the old resource format: two gap bytes, then each slot as length
// byte, marker and characters (filled up with U+0000), each followed by one
// gap byte.
inline Bytes ResourceFile(const std::vector<Slot>& strings)
{
    Bytes file{1, 2};
    for (const Slot& slot : strings) {
        file.push_back(static_cast<std::uint8_t>(slot.capacity));
        file.push_back(0xAB);
        for (int i = 0; i < slot.capacity; ++i) {
            const char16_t c = i < static_cast<int>(slot.text.size()) ? slot.text[i] : 0;
            file.push_back(static_cast<std::uint8_t>(c & 0xFF));
            file.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        file.push_back(7);
    }
    return file;
}

} // namespace tavolin::test
