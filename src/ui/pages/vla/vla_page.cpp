#include "ui/pages/vla/vla_page.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "link/vla_request.h"
#include "pages/vla/vla_texts.h"
#include "ui/main/geometry.h"

namespace halvek::ui {
namespace {

QLabel* paragraph(QWidget* parent, const char* text, int y, int h) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(dluRect(8, y, 232, h));
    return l;
}

}  // namespace

VlaPage::VlaPage(QWidget* client, PageContext& context) : QWidget(client) {
    setGeometry(dluRect(164, 15, 248, 70));
    auto* group = new QGroupBox(this);
    group->setGeometry(dluRect(0, 0, 248, 70));
    paragraph(this, vla::kAbout, 6, 18);
    paragraph(this, vla::kCaution, 24, 26);
    request_ = new QPushButton(vla::kRequestVla, this);
    request_->setGeometry(dluRect(94, 52, 60, 14));
    LinkController& link = context.link;
    connect(request_, &QPushButton::clicked, this, [&link] { requestVla(link); });
}

QWidget* makeVlaPage(QWidget* client, PageContext& context) { return new VlaPage(client, context); }

}  // namespace halvek::ui
