// The web register's reconciliation page of a bank account and its
// requests (reconcile_page.cc; the work is tools/bkreg/reconcile_work.h's):
//
//   GET  /reconcile?bank=ID        figures, statement lines, outstanding items, history
//   POST /reconcile/upload         a statement file (multipart): read, matched, applied
//   POST /reconcile/start          start (or correct) from a statement date and ending balance
//   POST /reconcile/tick           tick (on=1) or untick (on=0) run/seq; JSON with the
//                                  figures when asked for it (Accept: application/json)
//   POST /reconcile/accept         a proposed line's chosen transaction (line, run, seq)
//   POST /reconcile/enter          an unknown line entered as an adjustment (line)
//   POST /reconcile/enter-as       an unknown line entered as a deposit, withdrawal or check
//                                  (line, type) in the statement's batch, matched once posted
//   POST /reconcile/adjust         an adjustment of the difference shown (amount: refused when
//                                  the difference is another now), posted and ticked
//   POST /reconcile/post           the statement's batch posted (batch)
//   POST /reconcile/again          the kept statement's waiting lines applied again
//   POST /reconcile/finish|undo|cancel
//
// Answers as the other pages: 303 back to the page with what was done; the
// page with the messages and 422 (refused), 409 (held by another program),
// 500 (failed) otherwise.
#pragma once

#include <httplib.h>

#include "web/pages.h"

namespace bkweb {

// The largest statement file an upload takes (the other requests keep the
// server's 64 KiB).
inline constexpr size_t kMaxUpload = 32u << 20;
inline constexpr const char kUploadPath[] = "/reconcile/upload";

void ReconcilePage(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileUploadPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileStartPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileTickPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileAcceptPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileEnterPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileEnterAsPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileAdjustPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcilePostBatch(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileAgainPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileFinishPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileUndoPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void ReconcileCancelPost(const Env& env, const httplib::Request& req, httplib::Response& res);

}  // namespace bkweb
