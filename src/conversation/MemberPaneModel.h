// The member pane's view of a channel's member list: each entry in its
// colour, the user's own in green, members away in grey, operators in red,
// others in black.
#pragma once

#include <QIdentityProxyModel>

namespace tavi {

class TConnection;
class TMemberList;

class TMemberPaneModel : public QIdentityProxyModel {
  Q_OBJECT
 public:
  TMemberPaneModel(const TConnection& Connection, QObject* Parent);
  void SetMembers(TMemberList* Members);
  QVariant data(const QModelIndex& Index, int Role) const override;

 private:
  const TConnection& connection_;
};

}  // namespace tavi
