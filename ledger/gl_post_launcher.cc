// Posting batches through the general ledger (see gl_post_launcher.h).
#include "ledger/gl_post_launcher.h"

#include <cstring>

#include "framework/base/application.h"
#include "framework/base/memory.h"
#include "framework/control/interfaces.h"
#include "framework/program/program.h"
#include "ledger/gl_binding.h"
#include "records/files.h"

namespace {
gl_batch_appl_def* ApplOf(void* batch_def) {
  if (!batch_def) return nullptr;
  gl_batch_appl_def* appl = nullptr;
  std::memcpy(&appl, static_cast<unsigned char*>(batch_def) + kGLBatchDefApplBlock, sizeof appl);
  return appl;
}
}  // namespace

glwPostLauncher::glwPostLauncher(const ccProgram& program) : m_UpdateBlock{} {
  m_UpdateBlock.command_id = static_cast<int16_t>(program.Task().Command().ID());
  void* batch_def = x_alloc(kGLBatchDefSize);
  void* appl = x_alloc(sizeof(gl_batch_appl_def));
  if (batch_def && appl) {
    std::memcpy(static_cast<unsigned char*>(batch_def) + kGLBatchDefApplBlock, &appl, sizeof appl);
    m_UpdateBlock.batch_def = batch_def;
  } else {
    x_free(batch_def);
    x_free(appl);
  }
}

glwPostLauncher::~glwPostLauncher() {
  x_free(ApplOf(m_UpdateBlock.batch_def));
  x_free(m_UpdateBlock.batch_def);
}

const gl_batch_appl_def* glwPostLauncher::ApplBlock() const { return ApplOf(m_UpdateBlock.batch_def); }

bool glwPostLauncher::GeneralLedgerMissing() const {
  if (!zc_interface_active("BK", "GL")) return false;
  if (!glwFindFunction("GL_INIT_UPDATE") || !glwFindFunction("GL_UPDATE")) return true;
  glwInterface<glGLMHeader> header(kGLNewGLMHeader, kIID_glGLMHeader);
  return !header;
}

ccBoolStatus glwPostLauncher::OpenFiles(const ccProgram& program) {
  if (const tsioDataFile* f = program.File(GLTFileSpec)) m_UpdateBlock.glt_file = f->FileNum();
  if (const tsioDataFile* f = program.File(GLTFileSpec2)) m_UpdateBlock.glt_posted_file = f->FileNum();
  if (const tsioDataFile* f = program.File(GLMFileSpec)) m_UpdateBlock.glm_file = f->FileNum();
  if (GeneralLedgerMissing()) return kBoolFailure;
  const short r = glw::GL_INIT_UPDATE(&m_UpdateBlock);
  return r == kGLInitReady || r == kGLInitNothingWaiting ? kBoolSuccess : kBoolFailure;
}

void glwPostLauncher::CloseFiles() { glw::GL_TERM_UPDATE(&m_UpdateBlock); }

ccStatus<ccBoolStatus> glwPostLauncher::Post(short n) {
  m_UpdateBlock.post_option = n;
  m_UpdateBlock.old_batch_list = m_BatchList.BuildOldBatchList();
  if (void* batch_def = m_UpdateBlock.batch_def) {
    gl_batch_appl_def* appl = ApplOf(batch_def);
    std::memset(batch_def, 0, kGLBatchDefSize);
    std::memcpy(static_cast<unsigned char*>(batch_def) + kGLBatchDefApplBlock, &appl, sizeof appl);
    std::memcpy(static_cast<unsigned char*>(batch_def) + zzBatch::kCommandIDOffset, &m_UpdateBlock.command_id,
                sizeof(int16_t));
    std::memset(appl, 0, sizeof *appl);
    appl->glt_file = m_UpdateBlock.glt_file;
    appl->glt_posted_file = m_UpdateBlock.glt_posted_file;
  }
  auto failed = [](const std::string& why) {
    return ccStatus<ccBoolStatus>(kBoolFailure, ccError(0, ccError::kError, "The batches were not posted: " + why,
                                                        "You may need to reinstall General Ledger."));
  };
  if (GeneralLedgerMissing()) return failed("General Ledger is not available.");
  const short r = glw::GL_UPDATE(&m_UpdateBlock);
  if (r != kGLUpdateDone) return failed("General Ledger answered " + std::to_string(r) + ".");
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

void glwPostLauncher::AddToBatchList(zzBatchListNode* node) {
  if (!node) return;
  if (TSGetApp()->ApplicationID() != "GL") node->SetChoice(tsChoice(1));
  m_BatchList.AppendNode(node);
}
