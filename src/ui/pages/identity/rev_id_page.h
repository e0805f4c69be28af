#pragma once

#include <QWidget>

#include "ui/main/page_registry.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace halvek::ui {

// The Rev-Id page: the program revision, the asset number and the system id,
// read from the unit, and a new system id written to it (and read back).
class RevIdPage : public QWidget, public PageView {
    Q_OBJECT
  public:
    RevIdPage(QWidget* parent, PageContext& context);
    void refresh() override;

    QLabel* revision() const { return revision_; }
    QLabel* assetNumber() const { return asset_; }
    QLabel* systemId() const { return systemId_; }
    QLineEdit* systemIdEntry() const { return entry_; }
    QPushButton* getRevisionButton() const { return getRevision_; }
    QPushButton* getAssetButton() const { return getAsset_; }
    QPushButton* getSystemIdButton() const { return getSystemId_; }
    QPushButton* setSystemIdButton() const { return setSystemId_; }

  private:
    void setSystemId();

    PageContext& context_;
    QLabel *revision_, *asset_, *systemId_;
    QLineEdit* entry_;
    QPushButton *getRevision_, *getAsset_, *getSystemId_, *setSystemId_;
};

QWidget* createRevIdPage(QWidget* client, PageContext& context);

}  // namespace halvek::ui
