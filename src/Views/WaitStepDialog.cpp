#include "Views/WaitStepDialog.h"

#include "Codec/PngCodec.h"
#include "Models/MacroAction.h"
#include "ViewModels/AppViewModel.h"
#include "Views/ScreenPointPicker.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

const char* insertKey(ScreenWait::Kind kind)
{
    switch (kind) {
    case ScreenWait::Kind::image:
        return "insert.waitImage";
    case ScreenWait::Kind::color:
        return "insert.waitColor";
    case ScreenWait::Kind::window:
        return "insert.waitWindow";
    case ScreenWait::Kind::settle:
        return "insert.waitSettle";
    }
    return "";
}

QString colorText(std::uint32_t color)
{
    return QStringLiteral("#%1").arg(color & 0xffffff, 6, 16, QLatin1Char('0'));
}

std::optional<std::uint32_t> colorFrom(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^#?([0-9a-fA-F]{6})$"));
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toUInt(nullptr, 16);
}

} // namespace

QString WaitStepDialog::text(const char* key) const
{
    return m_model.t(QString::fromLatin1(key));
}

WaitStepDialog::WaitStepDialog(AppViewModel& model, const ScreenWait& wait, double gap, bool hasGap, Purpose purpose,
                               QWidget* parent)
    : QDialog(parent), m_model(model), m_wait(wait)
{
    using K = ScreenWait::Kind;
    setObjectName(QStringLiteral("waitStepEditor"));
    QString title = purpose == Purpose::edit ? text("editor.title.edit") : text(insertKey(wait.kind));
    if (title.endsWith(QChar(0x2026)))
        title.chop(1);
    setWindowTitle(title);
    m_heading = new QLabel;
    m_heading->setTextFormat(Qt::PlainText); // titles and names come from files
    QFont bold = m_heading->font();
    bold.setBold(true);
    m_heading->setFont(bold);

    auto* form = new QFormLayout;
    m_gap = new QSpinBox;
    m_gap->setRange(0, 3600 * 1000);
    m_gap->setSuffix(QStringLiteral(" ms"));
    m_gap->setValue(int(std::lround(std::max(0.0, gap) * 1000)));
    m_gap->setEnabled(hasGap);
    form->addRow(text("editor.gap"), m_gap);

    auto applications = [this](QComboBox* box, const char* none, const QString& id, const QString& name) {
        box->addItem(text(none), QString());
        for (const RunningApplication& app : m_model.runningApplications())
            box->addItem(app.name, app.id);
        if (!id.isEmpty() && box->findData(id) < 0)
            box->addItem(name.isEmpty() ? id : name, id); // a step made while it ran
        box->setCurrentIndex(std::max(0, box->findData(id)));
    };

    if (wait.kind == K::image || wait.kind == K::color || wait.kind == K::settle) {
        m_pick = new QPushButton(text(wait.kind == K::image    ? "wait.takePicture"
                                      : wait.kind == K::color ? "editor.pick"
                                                              : "wait.pickArea"));
        connect(m_pick, &QPushButton::clicked, this, &WaitStepDialog::pickOnScreen);
    }
    if (wait.kind == K::image) {
        m_picture = new QLabel;
        m_picture->setMinimumSize(64, 64);
        m_picture->setAlignment(Qt::AlignCenter);
        m_picture->setStyleSheet(QStringLiteral("border: 1px solid palette(mid)"));
        auto* row = new QHBoxLayout;
        row->addWidget(m_picture);
        row->addWidget(m_pick);
        row->addStretch();
        form->addRow(text("wait.picture"), row);
        m_window = new QComboBox;
        applications(m_window, "wait.anywhere", wait.app, wait.appName);
        form->addRow(text("wait.within"), m_window);
        m_threshold = new QDoubleSpinBox;
        m_threshold->setRange(0.5, 1.0);
        m_threshold->setSingleStep(0.05);
        m_threshold->setDecimals(2);
        m_threshold->setValue(wait.threshold > 0 ? wait.threshold : 0.8);
        form->addRow(text("wait.threshold"), m_threshold);
        connect(m_window, &QComboBox::currentIndexChanged, this, &WaitStepDialog::update);
    }
    if (wait.kind == K::color) {
        m_where = new QLabel;
        auto* row = new QHBoxLayout;
        row->addWidget(m_where);
        row->addWidget(m_pick);
        row->addStretch();
        form->addRow(text("wait.point"), row);
        m_color = new QLineEdit(colorText(wait.color));
        m_color->setMaxLength(7);
        form->addRow(text("wait.color"), m_color);
        m_tolerance = new QSpinBox;
        m_tolerance->setRange(0, 255);
        m_tolerance->setValue(wait.tolerance);
        form->addRow(text("wait.tolerance"), m_tolerance);
        connect(m_color, &QLineEdit::textChanged, this, &WaitStepDialog::update);
    }
    if (wait.kind == K::window) {
        m_app = new QComboBox;
        applications(m_app, "wait.anyApp", wait.app, wait.appName);
        form->addRow(text("wait.app"), m_app);
        m_title = new QLineEdit(wait.title);
        m_title->setMaxLength(1024);
        m_match = new QComboBox;
        m_match->addItem(text("wait.contains"), int(ScreenWait::TitleMatch::contains));
        m_match->addItem(text("wait.pattern"), int(ScreenWait::TitleMatch::pattern));
        m_match->setCurrentIndex(m_match->findData(int(wait.titleMatch)));
        auto* row = new QHBoxLayout;
        row->addWidget(m_match);
        row->addWidget(m_title, 1);
        form->addRow(text("wait.title"), row);
        m_event = new QComboBox;
        m_event->addItem(text("wait.appear"), int(ScreenWait::WindowEvent::appear));
        m_event->addItem(text("wait.front"), int(ScreenWait::WindowEvent::front));
        m_event->addItem(text("wait.close"), int(ScreenWait::WindowEvent::close));
        m_event->setCurrentIndex(m_event->findData(int(wait.event)));
        form->addRow(text("wait.event"), m_event);
        connect(m_app, &QComboBox::currentIndexChanged, this, &WaitStepDialog::update);
        connect(m_title, &QLineEdit::textChanged, this, &WaitStepDialog::update);
        connect(m_match, &QComboBox::currentIndexChanged, this, &WaitStepDialog::update);
        connect(m_event, &QComboBox::currentIndexChanged, this, &WaitStepDialog::update);
    }
    if (wait.kind == K::settle) {
        m_areaChoice = new QComboBox;
        m_areaChoice->addItem(text("wait.frontWindow"));
        m_areaChoice->addItem(text("wait.area"));
        m_areaChoice->setCurrentIndex(wait.area.isEmpty() ? 0 : 1);
        m_where = new QLabel;
        auto* row = new QHBoxLayout;
        row->addWidget(m_areaChoice);
        row->addWidget(m_where);
        row->addWidget(m_pick);
        row->addStretch();
        form->addRow(text("wait.area"), row);
        m_quiet = new QSpinBox;
        m_quiet->setRange(50, ScreenWait::maxQuietMs);
        m_quiet->setSingleStep(100);
        m_quiet->setSuffix(QStringLiteral(" ms"));
        m_quiet->setValue(wait.quietMs);
        form->addRow(text("wait.quiet"), m_quiet);
        connect(m_areaChoice, &QComboBox::currentIndexChanged, this, &WaitStepDialog::update);
        connect(m_quiet, &QSpinBox::valueChanged, this, &WaitStepDialog::update);
    }

    m_timeout = new QDoubleSpinBox;
    m_timeout->setRange(0.1, ScreenWait::maxTimeout);
    m_timeout->setDecimals(1);
    m_timeout->setSuffix(QStringLiteral(" s"));
    m_timeout->setValue(wait.timeout);
    form->addRow(text("wait.timeout"), m_timeout);
    m_onTimeout = new QComboBox;
    m_onTimeout->addItem(text("wait.stop"), true);
    m_onTimeout->addItem(text("wait.goOn"), false);
    m_onTimeout->setCurrentIndex(wait.stopOnTimeout ? 0 : 1);
    form->addRow(text("wait.onTimeout"), m_onTimeout);

    m_problem = new QLabel;
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color: #d70015"));
    auto* cancel = new QPushButton(text("editor.cancel"));
    m_ok = new QPushButton(text(purpose == Purpose::edit ? "editor.save" : "editor.insert"));
    m_ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (problem().isEmpty())
            accept();
    });
    update();
}

WaitStepDialog::~WaitStepDialog() = default;

ScreenWait WaitStepDialog::wait() const
{
    ScreenWait w = m_wait;
    w.timeout = m_timeout->value();
    w.stopOnTimeout = m_onTimeout->currentData().toBool();
    if (m_window) {
        w.app = m_window->currentData().toString();
        w.appName = w.app.isEmpty() ? QString() : m_window->currentText();
        w.threshold = std::abs(m_threshold->value() - 0.8) < 0.001 ? 0 : m_threshold->value();
    }
    if (m_color) {
        if (const auto color = colorFrom(m_color->text()))
            w.color = *color;
        w.tolerance = m_tolerance->value();
    }
    if (m_app) {
        w.app = m_app->currentData().toString();
        w.appName = w.app.isEmpty() ? QString() : m_app->currentText();
        w.title = m_title->text();
        w.titleMatch = ScreenWait::TitleMatch(m_match->currentData().toInt());
        w.event = ScreenWait::WindowEvent(m_event->currentData().toInt());
    }
    if (m_areaChoice) {
        if (m_areaChoice->currentIndex() == 0)
            w.area = {};
        w.quietMs = m_quiet->value();
    }
    return w;
}

double WaitStepDialog::gap() const
{
    return m_gap->value() / 1000.0;
}

QString WaitStepDialog::problem() const
{
    const ScreenWait w = wait();
    switch (w.kind) {
    case ScreenWait::Kind::image:
        if (w.png.isEmpty())
            return text("wait.noPicture");
        break;
    case ScreenWait::Kind::color:
        if (!colorFrom(m_color->text()))
            return text("wait.color") + QStringLiteral(": #rrggbb");
        break;
    case ScreenWait::Kind::window:
        if (w.app.isEmpty() && w.title.isEmpty())
            return text("wait.needsWindow");
        if (w.titleMatch == ScreenWait::TitleMatch::pattern) {
            const QRegularExpression pattern(w.title);
            if (!pattern.isValid())
                return text("wait.badPattern").arg(pattern.errorString());
        }
        break;
    case ScreenWait::Kind::settle:
        if (m_areaChoice->currentIndex() == 1 && w.area.isEmpty())
            return text("wait.pickArea");
        break;
    }
    return {};
}

void WaitStepDialog::update()
{
    if (!m_ok) // still being built
        return;
    m_heading->setText(MacroAction::wait(0, wait()).displayName());
    if (m_picture) {
        const QImage image = QImage::fromData(m_wait.png, "PNG");
        m_picture->setPixmap(image.isNull() ? QPixmap()
                                            : QPixmap::fromImage(image.width() > 160 || image.height() > 120
                                                                     ? image.scaled(160, 120, Qt::KeepAspectRatio,
                                                                                    Qt::SmoothTransformation)
                                                                     : image));
    }
    if (m_where) {
        const QRectF& a = m_wait.area;
        m_where->setText(m_wait.kind == ScreenWait::Kind::color
                             ? QStringLiteral("(%1, %2)").arg(std::lround(a.x())).arg(std::lround(a.y()))
                             : QStringLiteral("%1 \u00d7 %2 @ (%3, %4)")
                                   .arg(std::lround(a.width()))
                                   .arg(std::lround(a.height()))
                                   .arg(std::lround(a.x()))
                                   .arg(std::lround(a.y())));
        m_where->setVisible(m_wait.kind == ScreenWait::Kind::color || (m_areaChoice && m_areaChoice->currentIndex() == 1));
        if (m_areaChoice)
            m_pick->setVisible(m_areaChoice->currentIndex() == 1);
    }
    if (m_pick)
        m_pick->setEnabled(m_model.screenCapture() != nullptr || m_wait.kind == ScreenWait::Kind::settle);
    QString why = m_captureProblem.isEmpty() ? problem() : m_captureProblem;
    m_problem->setText(why);
    m_problem->setVisible(!why.isEmpty());
    m_ok->setEnabled(problem().isEmpty());
}

void WaitStepDialog::takeArea(const QRectF& area)
{
    m_captureProblem.clear();
    if (m_wait.kind == ScreenWait::Kind::settle) {
        m_wait.area = area;
        m_areaChoice->setCurrentIndex(1);
        update();
        return;
    }
    ScreenCapture* capture = m_model.screenCapture();
    // The user asked for this picture: a desktop that shows the screen only while Quillo
    // reads it hears so for that moment.
    if (capture)
        capture->setReading(true);
    auto taken = capture ? capture->capture(area) : Expected<ScreenImage, CaptureError>(failure(CaptureError{}));
    if (capture)
        capture->setReading(false);
    if (!taken.hasValue()) {
        m_captureProblem = capture ? taken.error().description() : text("playback.screenUnreadable");
    } else if (taken.value().width > ClickSight::maxSide || taken.value().height > ClickSight::maxSide) {
        m_captureProblem = text("wait.tooLarge").arg(ClickSight::maxSide);
    } else if (auto png = PngCodec::encode(taken.value()); png.hasValue()) {
        m_wait.png = png.value();
        m_wait.area = area;
    }
    update();
}

void WaitStepDialog::takePoint(const QPointF& point)
{
    m_captureProblem.clear();
    m_wait.area = QRectF(QPointF(std::round(point.x()), std::round(point.y())), QSizeF(1, 1));
    if (ScreenCapture* capture = m_model.screenCapture()) {
        capture->setReading(true);
        auto taken = capture->capture(m_wait.area);
        capture->setReading(false);
        if (taken.hasValue() && !taken.value().isNull()) {
            const std::uint8_t* bgr = taken.value().pixels.data();
            m_color->setText(colorText(std::uint32_t(bgr[2]) << 16 | std::uint32_t(bgr[1]) << 8 | bgr[0]));
        } else if (!taken.hasValue()) {
            m_captureProblem = taken.error().description();
        }
    }
    update();
}

int WaitStepDialog::exec()
{
    return ScreenPointPicker::execThroughPicks(*this, [this] { return m_picker; });
}

void WaitStepDialog::pickOnScreen()
{
    const std::vector<QWidget*> aside = ScreenPointPicker::windowsBehind(this);
    const bool point = m_wait.kind == ScreenWait::Kind::color;
    m_picker = new ScreenPointPicker(aside, text(point ? "editor.pick.hint" : "wait.pickHint"), this,
                                     point ? ScreenPointPicker::Mode::point : ScreenPointPicker::Mode::area);
    if (point)
        connect(m_picker, &ScreenPointPicker::picked, this, [this](std::optional<QPointF> at) {
            if (at)
                takePoint(*at);
        });
    else
        connect(m_picker, &ScreenPointPicker::pickedArea, this, [this](std::optional<QRectF> area) {
            if (area)
                takeArea(*area);
        });
    connect(m_picker, &ScreenPointPicker::picked, this, [this] {
        m_picker->deleteLater();
        m_picker = nullptr;
        update();
    });
    hide();
    m_picker->start();
}
