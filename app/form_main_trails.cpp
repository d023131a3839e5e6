// Gap filling and fades in the main window: "Fill gaps between frames" with
// its gap fraction and sky mask beside the operations of "Processing...",
// and the fades among the options. The choices hold for the session, as
// the neighbouring options do, and apply to AddMax and AddMaxLum runs.

#include <QAction>
#include <QMenu>
#include <QString>
#include <cmath>
#include <string>

#include "app/form_main.h"
#include "core/exif_times.h"
#include "core/fades.h"
#include "lang/language_strings.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

namespace nocturo {

namespace {

// A decimal number from low to high as typed ("0.25" or "0,25"); nullopt
// for anything else.
std::optional<double> Decimal(QString text, double low, double high) {
    bool ok = false;
    const double v = text.trimmed().replace(',', '.').toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < low || v > high) {
        return std::nullopt;
    }
    return v;
}

}  // namespace

void TFormMain::BuildTrailTools() {
    QMenu* stack = findChild<QMenu*>("StackBuffer1");
    if (stack != nullptr) {
        stack->addSeparator();
        QAction* fill = AddAction(stack, "FillGaps1", "Fill gaps between frames");
        fill->setCheckable(true);
        fill->setStatusTip("AddMax and AddMaxLum join the dashes of every trail across the gaps");
        connect(fill, &QAction::triggered, this,
                [this] { run_.Trails.fillGaps = Action("FillGaps1")->isChecked(); });
        connect(AddAction(stack, "GapFraction1", "Gap fraction"), &QAction::triggered, this,
                &TFormMain::GapFraction1Click);
        QAction* mask = AddAction(stack, "SkyMask1", "Sky mask...");
        mask->setCheckable(true);
        mask->setStatusTip("A picture of the frames' size, white where the sky is");
        connect(mask, &QAction::triggered, this, &TFormMain::SkyMask1Click);
    }
    if (QAction* translate = Action("Translate1"); translate != nullptr) {
        // The fades go among the stacking options, above the translation.
        const QList<QAction*> items = options1_->actions();
        const qsizetype at = items.indexOf(translate);
        QAction* before = at > 0 ? items[at - 1] : translate;
        QAction* separator = new QAction(this);
        separator->setSeparator(true);
        options1_->insertAction(before, separator);
        auto add = [&](const char* name, const QString& caption, void (TFormMain::*handler)()) {
            auto* action = new QAction(caption, this);
            action->setObjectName(name);
            action->setCheckable(true);
            actions_[name] = action;
            options1_->insertAction(before, action);
            connect(action, &QAction::triggered, this, handler);
            return action;
        };
        add("FadeIn1", "Fade in", &TFormMain::FadeIn1Click);
        add("FadeOut1", "Fade out", &TFormMain::FadeOut1Click);
        add("Comet1", "Comet", &TFormMain::Comet1Click)
            ->setStatusTip("Frame k of M weighs (k+1)/M: trails taper toward their start");
        add("FadeMinimum1", "Minimum brightness of the fades", &TFormMain::FadeMinimum1Click);
    }
}

void TFormMain::GapFraction1Click() {
    QString value = QString::number(run_.Trails.gapFraction);
    if (!Dialogs::Get().InputQuery(this, PlainCaption(Action("GapFraction1")->text()),
                                   Q(Lng().txtGapFractionPrompt), value)) {
        return;
    }
    if (const auto gap = Decimal(value, 0, kMaxGapFraction)) {
        run_.Trails.gapFraction = *gap;
    } else {
        ShowNumberRefused(value, "0", "0.9");
    }
}

void TFormMain::SkyMask1Click() {
    QAction* action = Action("SkyMask1");
    if (!run_.Trails.skyMask.empty()) {
        // Checked: a second choice of the item drops the mask.
        run_.Trails.skyMask.clear();
        action->setChecked(false);
        action->setStatusTip(QString());
        return;
    }
    FileDialogOptions options;
    options.title = PlainCaption(action->text());
    options.filter = Q(Lng().txtSkyMaskFilter);
    const QString chosen = Dialogs::Get().OpenFileName(this, options);
    run_.Trails.skyMask = chosen.toStdString();
    action->setChecked(!chosen.isEmpty());
    action->setStatusTip(chosen);
}

void TFormMain::AskFadeFrames(const char* name, int32_t& frames) {
    QString value = QString::number(frames);
    if (Dialogs::Get().InputQuery(this, PlainCaption(Action(name)->text()),
                                  Q(Lng().txtFadeFramesPrompt), value)) {
        const std::optional<int32_t> v = TypedInteger(value);
        if (v && *v >= 0 && *v <= kMaxFadeFrames) {
            frames = *v;
        } else {
            ShowNumberRefused(value, "0", QString::number(kMaxFadeFrames));
        }
    }
    Action(name)->setChecked(frames > 0);
}

void TFormMain::FadeIn1Click() {
    AskFadeFrames("FadeIn1", run_.Trails.fades.fadeIn);
}

void TFormMain::FadeOut1Click() {
    AskFadeFrames("FadeOut1", run_.Trails.fades.fadeOut);
}

void TFormMain::Comet1Click() {
    run_.Trails.fades.comet = Action("Comet1")->isChecked();
}

void TFormMain::FadeMinimum1Click() {
    QAction* action = Action("FadeMinimum1");
    QString value = QString::number(static_cast<double>(run_.Trails.fades.minimum) / kFullWeight);
    if (Dialogs::Get().InputQuery(this, PlainCaption(action->text()), Q(Lng().txtFadeMinimumPrompt),
                                  value)) {
        if (const auto m = Decimal(value, 0, 1)) {
            run_.Trails.fades.minimum = FadeMinimumFactor(*m);
        } else {
            ShowNumberRefused(value, "0", "1");
        }
    }
    action->setChecked(run_.Trails.fades.minimum > 0);
}

void TFormMain::ShowNumberRefused(const QString& value, const QString& low, const QString& high) {
    Dialogs::Get().Message(this,
                           Q(FormatText(Lng().txtNumberOutOfRange, value.toStdString(),
                                        low.toStdString(), high.toStdString())),
                           QString(), {DialogButton::Ok}, MessageKind::Warning);
}

}  // namespace nocturo
