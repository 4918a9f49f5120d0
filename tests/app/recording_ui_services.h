// UI services for tests: answers every dialog from queues set up by the test
// and records what was shown, without showing anything.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "widgets/ui_services.h"

namespace bkf::gui {

struct ShownMessage {
    QString text;
    MessageStyle style;
    bool operator==(const ShownMessage&) const = default;
};

class RecordingUiServices final : public UiServices {
public:
    std::vector<ShownMessage> messages;
    // Answers to message boxes, in order. When none is left an OK box gets
    // Ok and any other No (the answer that changes nothing).
    std::deque<Answer> answers;
    std::deque<QString> fileAnswers;  // "" = Cancel
    QStringList fileCaptions;
    QStringList folderStarts;  // the start folder of each folder dialog
    // Pop-up menus shown, and the ids to answer them with (none left: 0, closed).
    std::vector<QList<MenuItem>> menus;
    std::deque<int> menuAnswers;
    QStringList fileFilters;
    QStringList dialogTitles;
    std::vector<QUrl> openedUrls;
    // Called with each dialog before it is answered: Rejected, unless this accepts it.
    std::function<void(QDialog&)> onDialog;

    Answer messageBox(QWidget*, const QString& text, MessageStyle style) override {
        messages.push_back({text, style});
        if (!answers.empty()) {
            const Answer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return style.buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    QString openFileName(QWidget*, const QString& caption, const QString& filter) override {
        return fileAnswer(caption, filter);
    }
    QString saveFileName(QWidget*, const QString& caption, const QString& filter) override {
        return fileAnswer(caption, filter);
    }
    QString folderName(QWidget*, const QString& caption, const QString& startFolder) override {
        folderStarts << startFolder;
        return fileAnswer(caption, QString());
    }
    int popupMenu(QWidget*, const QPoint&, const QList<MenuItem>& items) override {
        menus.push_back(items);
        if (menuAnswers.empty()) return 0;
        const int answer = menuAnswers.front();
        menuAnswers.pop_front();
        return answer;
    }
    int runDialog(QDialog& dialog) override {
        dialogTitles << dialog.windowTitle();
        if (onDialog) onDialog(dialog);
        return dialog.result();  // Rejected unless onDialog accepted it
    }
    bool openUrl(const QUrl& url) override {
        openedUrls.push_back(url);
        return true;
    }

private:
    QString fileAnswer(const QString& caption, const QString& filter) {
        fileCaptions << caption;
        fileFilters << filter;
        if (fileAnswers.empty()) return {};
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

}  // namespace bkf::gui
