#include "arraysim/server/BodyGate.h"

#include "arraysim/server/AdminRoutes.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/StorageRoutes.h"

namespace arraysim {

void addBodyGate(HttpsServer& server, SimContext& context) {
    server.setBodyGate([&context](const Request& head, Reply& refusal) {
        if (head.path.rfind("/admin/", 0) == 0) return adminAdmitsBody(context, head, refusal);
        if (isStoragePath(head.path)) return storageAdmitsBody(context, head, refusal);
        // No route under another path takes a body.
        sendError(refusal, 404, kNoSuchResource);
        return false;
    });
}

}  // namespace arraysim
