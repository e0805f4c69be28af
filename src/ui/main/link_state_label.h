#pragma once

#include <QLabel>

#include "link/link_state.h"

namespace halvek::ui {

// The link state in words, after a lamp in the state's colour: grey closed,
// amber waiting, green answering, red without answer.
class LinkStateLabel : public QLabel {
    Q_OBJECT
  public:
    explicit LinkStateLabel(QWidget* parent);
    void showState(LinkState state, bool simulated, const QString& device);
    LinkState state() const { return state_; }
    bool simulated() const { return simulated_; }

  private:
    LinkState state_ = LinkState::Closed;
    bool simulated_ = false;
};

}  // namespace halvek::ui
