#include "app/ProgramStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>

namespace tavoro {
namespace {

// Stands for one standard icon of a style, asked of it at the first use. The style is
// held weakly: an icon that outlives it draws nothing rather than reach a freed style.
class DeferredStandardIcon : public QIconEngine {
public:
    DeferredStandardIcon(QStyle* style, QStyle::StandardPixmap icon) : style_(style), icon_(icon) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return loaded().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return loaded().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return loaded().availableSizes(mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return loaded().pixmap(size, scale, mode, state);
    }
    bool isNull() override { return loaded().isNull(); }
    QString key() const override { return QStringLiteral("DeferredStandardIcon"); }
    QIconEngine* clone() const override {
        auto* copy = new DeferredStandardIcon(style_, icon_);
        copy->icon_loaded_ = icon_loaded_;
        copy->loaded_ = loaded_;
        return copy;
    }

private:
    const QIcon& loaded() {
        if (!icon_loaded_ && style_) {
            loaded_ = style_->standardIcon(icon_);
            icon_loaded_ = true;
        }
        return loaded_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap icon_;
    bool icon_loaded_ = false;
    QIcon loaded_;
};

}  // namespace

QIcon ProgramStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                 const QWidget* widget) const {
    // Without an option this icon depends on nothing but the application's direction,
    // which the deferred read sees too; one asked for with an option is read at once.
    if (icon == SP_ToolBarHorizontalExtensionButton && option == nullptr) {
        // The wrapped style answers at the first draw: asking this one would defer again.
        return QIcon(new DeferredStandardIcon(baseStyle(), icon));
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}

}  // namespace tavoro
