#include "conversation/MemberPaneModel.h"

#include "conversation/Colors.h"
#include "core/Connection.h"

namespace tavi {

TMemberPaneModel::TMemberPaneModel(const TConnection& Connection, QObject* Parent)
    : QIdentityProxyModel(Parent), connection_(Connection) {}

void TMemberPaneModel::SetMembers(TMemberList* Members) { setSourceModel(Members); }

QVariant TMemberPaneModel::data(const QModelIndex& Index, int Role) const {
  if (Role != Qt::ForegroundRole) return QIdentityProxyModel::data(Index, Role);
  const std::string nick = QIdentityProxyModel::data(Index, TMemberList::NickRole).toByteArray().toStdString();
  if (nick == connection_.Own.CurrentNick) return clGreen;
  // Members marked away are dimmed.
  if (QIdentityProxyModel::data(Index, TMemberList::AwayRole).toBool()) return clGray;
  return QIdentityProxyModel::data(Index, TMemberList::OperatorRole).toBool() ? clRed : clBlack;
}

}  // namespace tavi
