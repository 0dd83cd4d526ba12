#include "TfrmSetup.h"

#include "ChineseFont.h"
#include "ConnectionSettings.h"
#include "EventGuard.h"
#include "PasswordField.h"
#include "TabOrder.h"
#include "TDataModule1.h"
#include "UserDialogs.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

constexpr int testTimeoutSeconds = 10;

QLineEdit* makeEdit(QWidget* parent, const QString& text, QRect place)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setGeometry(place);
    edit->setFont(chineseFont(15));
    return edit;
}

void addCaption(QWidget* parent, const QString& text, QRect place, int pixelSize)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setFont(chineseFont(pixelSize));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

TfrmSetup::TfrmSetup(TDataModule1& owner, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
    , owner_(owner)
{
    setWindowTitle(QStringLiteral("資料庫設定"));
    setFixedSize(418, 234);

    // The heading and the field captions, drawn where a background picture would carry them.
    auto* heading = new QLabel(QStringLiteral("資料庫連結設定"), this);
    heading->setGeometry(0, 16, 418, 32);
    heading->setAlignment(Qt::AlignCenter);
    heading->setFont(chineseFont(22));
    const QStringList captions{QStringLiteral("資料類別"), QStringLiteral("主機名稱"), QStringLiteral("資料庫名稱"),
                               QStringLiteral("系統帳號"), QStringLiteral("系統密碼"), QStringLiteral("資料庫路徑"),
                               QStringLiteral("圖檔路徑")};
    for (int i = 0; i < captions.size(); ++i)
        addCaption(this, captions.at(i), QRect(140, 64 + 24 * i, 92, 23), 15);

    Edit1 = makeEdit(this, QString(), {240, 88, 121, 23});
    Edit2 = makeEdit(this, QString(), {240, 112, 121, 23});
    Edit3 = makeEdit(this, QStringLiteral("sa"), {240, 136, 97, 23});
    Edit4 = makeEdit(this, QString(), {240, 160, 97, 23});
    showAsStars(Edit4);
    btbtnCheck = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("確定"), this);
    btbtnCheck->setGeometry(39, 192, 90, 25);
    btbtnCheck->setFont(chineseFont(16));
    btbtnCheck->setAutoDefault(false);
    Edit5 = makeEdit(this, QStringLiteral("Edit5"), {240, 208, 121, 23});
    Edit6 = makeEdit(this, QStringLiteral("Edit6"), {240, 184, 121, 23});
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("Access"), QStringLiteral("SQL")});
    ComboBox1->setCurrentText(QStringLiteral("Access"));
    ComboBox1->setGeometry(240, 64, 57, 21);

    chainTabOrder({Edit1, Edit2, Edit3, Edit4, btbtnCheck, Edit5, Edit6, ComboBox1});

    cnnctnTest.setLoginTimeoutSeconds(testTimeoutSeconds);
    connect(btbtnCheck, &QPushButton::clicked, this, guarded([this] { btbtnCheckClick(); }));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    runGuarded([this] { FormCreate(); });
}

TfrmSetup::~TfrmSetup() = default;

void TfrmSetup::showFor(TDataModule1& owner)
{
    owner.frmSetup = std::make_unique<TfrmSetup>(owner);
    owner.frmSetup->exec();
}

void TfrmSetup::FormCreate()
{
    // Fields that the file does not reach keep what the dialog shows at first.
    ConnectionSettings fromFile{QString(),      Edit1->text(), Edit2->text(), Edit3->text(),
                                Edit4->text(), Edit5->text(), Edit6->text()};
    const auto fill = [&] {
        Edit1->setText(fromFile.server);
        Edit2->setText(fromFile.database);
        Edit3->setText(fromFile.account);
        Edit4->setText(fromFile.accountPassword);
        Edit5->setText(fromFile.picturePath);
        Edit6->setText(fromFile.databaseFolder);
    };
    try {
        ReadConnectionSettings(fromFile);
    } catch (...) {
        fill();
        throw;
    }
    fill();
}

void TfrmSetup::btbtnCheckClick()
{
    if (Edit1->text().isEmpty()) {
        showMessage(QStringLiteral("伺服器名稱或位址資料未輸入!請在做確認"), this);
        return;
    }
    if (Edit2->text().isEmpty()) {
        showMessage(QStringLiteral("資料庫名稱資料未輸入!請在做確認"), this);
        return;
    }
    if (Edit3->text().isEmpty()) {
        showMessage(QStringLiteral("資料庫使用者資料未輸入!請在做確認"), this);
        return;
    }
    ConnectionSettings& settings = owner_.settings;
    if (ComboBox1->currentText() == QLatin1String("SQL"))
        settings.engine = QStringLiteral("1");
    else if (ComboBox1->currentText() == QLatin1String("Access"))
        settings.engine = QStringLiteral("2");
    settings.server = Edit1->text();
    settings.database = Edit2->text();
    settings.account = Edit3->text();
    settings.accountPassword = Edit4->text();
    settings.picturePath = Edit5->text();
    settings.databaseFolder = Edit6->text();
    const QString connectionString = BuildConnectionString(settings);

    cnnctnTest.close();
    cnnctnTest.setConnectionString(connectionString);
    try {
        cnnctnTest.open();
    } catch (const std::exception&) {
        showMessage(QStringLiteral("資料庫連結錯誤請重新輸入"), this);
        return;
    }
    cnnctnTest.close();
    WriteConnectionSettings(settings);
    owner_.requestEnd();
    reject();
}
