#include "app/AboutForm.h"

#include "common/Icons.h"
#include "common/InstallPaths.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sonalto {

TBuyForm::TBuyForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("关于 Sonalto"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(appIcon(QStringLiteral("sonalto")).pixmap(48, 48));
    icon->setAccessibleName(QStringLiteral("Sonalto"));

    auto *name = new QLabel(QStringLiteral("Sonalto"), this);
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    name->setFont(big);
    auto *version = new QLabel(tr("版本 ") + programVersion(), this);
    auto *line1 = new QLabel(tr("一个简单易用的录音软件。"), this);
    auto *line2 = new QLabel(tr("录制麦克风、线路输入或声卡播放的声音。"), this);

    Button1 = new QPushButton(tr("确定"), this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto *text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addSpacing(8);
    text->addWidget(line1);
    text->addWidget(line2);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // QDialog closes itself on Esc (reject).
}

} // namespace sonalto
