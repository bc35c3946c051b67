#include "support/ScriptedDialogs.h"

#include <QWidget>

namespace tavoro::test {
namespace {

const char* kindName(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Warning:
            return "warning";
        case ScriptedDialogs::Kind::Critical:
            return "critical";
        case ScriptedDialogs::Kind::OpenFile:
            return "open file";
        case ScriptedDialogs::Kind::EnterLine:
            return "enter line";
    }
    return "?";
}

}  // namespace

void ScriptedDialogs::QueueOk(Kind kind) {
    answers_.push_back({kind, false, QString()});
}

void ScriptedDialogs::QueueFile(const QString& path) {
    answers_.push_back({Kind::OpenFile, false, path});
}

void ScriptedDialogs::QueueLine(const QString& text) {
    answers_.push_back({Kind::EnterLine, false, text});
}

void ScriptedDialogs::QueueCancel(Kind kind) {
    answers_.push_back({kind, true, QString()});
}

QStringList ScriptedDialogs::unexpected() const {
    QStringList texts;
    for (const Asked& each : asked_) {
        if (!each.expected) {
            texts << each.caption + ": " + each.text;
        }
    }
    return texts;
}

std::optional<QString> ScriptedDialogs::ask(Kind kind, const QWidget* parent,
                                            const QString& caption, const QString& text,
                                            const QString& detail) {
    const bool expected = !answers_.empty() && answers_.front().kind == kind;
    asked_.push_back({kind, parent, caption, text, detail, expected});
    if (on_asked) {
        on_asked(asked_.back());
    }
    if (!expected) {
        return std::nullopt;
    }
    const Answer answer = answers_.front();
    answers_.pop_front();
    if (answer.cancelled) {
        return std::nullopt;
    }
    return answer.value;
}

void ScriptedDialogs::ShowMessage(QWidget* parent, MessageKind kind, const QString& caption,
                                  const QString& text) {
    ask(kind == MessageKind::Warning ? Kind::Warning : Kind::Critical, parent, caption, text, {});
}

QString ScriptedDialogs::OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                                  const QString& filter) {
    return ask(Kind::OpenFile, parent, caption, folder, filter).value_or(QString());
}

std::optional<QString> ScriptedDialogs::EnterLine(QWidget* parent, const QString& caption, int, int,
                                                  const QString& prompt,
                                                  const QString& initial_text) {
    return ask(Kind::EnterLine, parent, caption, prompt, initial_text);
}

void PrintTo(const ScriptedDialogs::Asked& asked, std::ostream* out) {
    const QString parent = asked.parent ? asked.parent->objectName() : QString("nothing");
    *out << "{" << kindName(asked.kind) << " over " << parent.toStdString() << ", \""
         << asked.caption.toStdString() << "\", \"" << asked.text.toStdString() << "\", \""
         << asked.detail.toStdString() << "\"" << (asked.expected ? "" : ", unexpected") << "}";
}

}  // namespace tavoro::test
