#pragma once

#include "UserDialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

// Takes the place of the real message boxes while it lives: records what would have been
// shown, answers questions with what the test queued, and never blocks.
class RecordingDialogs final : public UserDialogs {
public:
    struct Message {
        QString text;
        QString caption;
        Icon icon;
    };

    RecordingDialogs() { install(this); }
    ~RecordingDialogs() override { install(nullptr); }

    void showMessage(QWidget*, const QString& text, const QString& caption, Icon icon) override
    {
        messages.append({text, caption, icon});
    }
    bool confirm(QWidget*, const QString& text, const QString&) override
    {
        questions.append(text);
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    void openWithDesktop(const QString& path) override { openedPaths.append(path); }

    // The texts shown so far, and forgets them.
    QStringList takeTexts()
    {
        QStringList texts;
        for (const Message& message : messages)
            texts.append(message.text);
        messages.clear();
        return texts;
    }

    QList<Message> messages;
    QStringList questions;
    QList<bool> answers;
    QStringList openedPaths;
};
