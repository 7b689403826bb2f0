#pragma once

#include "app/dialogs.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace quellomir::testing {

struct ShownMessage {
    QString text;
    QString title;
    Dialogs::Icon icon;
};

// Stands in for every dialog: records what the window shows and answers the folder
// picker from a script, so no test ever waits for a person.
class RecordingDialogs final : public Dialogs {
  public:
    void showMessage(QWidget*, const QString& text, const QString& title, Icon icon) override {
        messages.push_back({text, title, icon});
        if (onMessage) onMessage();
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& initialFolder) override {
        pickerTitles.append(title);
        pickerInitialFolders.append(initialFolder);
        if (folderAnswers.empty()) return {};
        QString answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
    void openUrl(const QString& url) override { openedUrls.append(url); }
    QString chooseFromMenu(QWidget*, const QPoint&, const QStringList& items, const QStringList&,
                           const QStringList& checked) override {
        menus.append(items);
        menusChecked.append(checked);
        return menuAnswer;
    }

    int ask(QWidget*, const QString& text, const QString&, const QStringList& answers) override {
        questions.append(text);
        questionAnswers.append(answers);
        return askAnswer < 0 ? int(answers.size()) - 1 : askAnswer;
    }

    std::vector<ShownMessage> messages;
    QStringList questions;
    QList<QStringList> questionAnswers;
    int askAnswer = -1;                // the index of the answer given; -1: the last (as Escape)
    std::deque<QString> folderAnswers; // the empty text stands for Cancel
    QStringList pickerTitles;
    QStringList pickerInitialFolders;
    QStringList openedUrls;
    QList<QStringList> menus;        // the items of each menu shown
    QList<QStringList> menusChecked; // and those shown ticked
    QString menuAnswer;              // the item chosen; empty: closed without a choice
    std::function<void()> onMessage;
};

} // namespace quellomir::testing
