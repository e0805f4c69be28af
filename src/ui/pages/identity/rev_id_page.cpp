#include "ui/pages/identity/rev_id_page.h"

#include "pages/identity/identity_view.h"
#include "protocol/catalogue.h"
#include "ui/pages/common/page_widgets.h"
#include "ui/pages/common/unread.h"
#include "ui/pages/identity/entry_box.h"

namespace halvek::ui {

using namespace widgets;
using namespace identitytext;

RevIdPage::RevIdPage(QWidget* parent, PageContext& context) : QWidget(parent), context_(context) {
    placeUpperPage(this);
    group(this, kRevisionGroup, 2, 2, 116, 34);
    revision_ = field(this, "", 8, 16, 54);
    getRevision_ = button(this, kGetRevision, 66, 15, 48);
    group(this, kSystemIdGroup, 122, 2, 124, 66);
    getAsset_ = button(this, kGetAsset, 128, 12, 52);
    asset_ = field(this, kAssetInitial, 184, 13, 58);
    getSystemId_ = button(this, kGetSystemId, 128, 31, 52);
    systemId_ = field(this, kSystemIdInitial, 184, 32, 30);
    setSystemId_ = button(this, kSetSystemId, 128, 50, 52);
    entry_ = numberBox(this, "0", 184, 51, 30);
    LinkController& link = context_.link;
    connect(getRevision_, &QPushButton::clicked, this, [&link] { link.request(cmd::ReadProgRev); });
    connect(getAsset_, &QPushButton::clicked, this, [&link] { link.request(cmd::ReadAssetNum); });
    connect(getSystemId_, &QPushButton::clicked, this, [&link] { link.request(cmd::ReadSystemId); });
    connect(setSystemId_, &QPushButton::clicked, this, &RevIdPage::setSystemId);
    requestUnread(link, {cmd::ReadSystemId, cmd::ReadAssetNum});
    refresh();
}

void RevIdPage::refresh() {
    const IdentityStore& id = context_.stores.identity;
    revision_->setText(latin1(revisionText(id)));
    asset_->setText(latin1(assetNumberText(id)));
    systemId_->setText(latin1(systemIdText(id)));
}

void RevIdPage::setSystemId() {
    const auto n = takeEntry(entry_, 0, kIdMax, context_.ui);
    if (!n) return;
    context_.stores.identity.systemId = toBcd4(*n);
    context_.link.request(cmd::SetSysId);
    // Read back, so that the display shows what the unit took.
    context_.link.request(cmd::ReadSystemId);
}

QWidget* createRevIdPage(QWidget* client, PageContext& context) { return new RevIdPage(client, context); }

}  // namespace halvek::ui
