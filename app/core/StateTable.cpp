#include "app/core/StateTable.h"

namespace
{

struct SStateRow
{
    int nState;
    STransition onTrue;
    STransition onFalse;
};

// clang-format off
// state                  outcome of its step        true                                    false
constexpr SStateRow STATE_TABLE[] = {
    {STATE_INIT,            /* automatic mode */     {STATE_CHECK_FIRMWARE, EThen::Continue},  {STATE_WELCOME, EThen::Wait}},
    {STATE_WELCOME,         /* always true */        {STATE_CHECK_FIRMWARE, EThen::Continue},  {STATE_CHECK_FIRMWARE, EThen::Continue}},
    {STATE_CHECK_FIRMWARE,  /* firmware usable */    {STATE_CONNECT, EThen::Continue},         {STATE_SELECT_FIRMWARE, EThen::Wait}},
    {STATE_SELECT_FIRMWARE, /* firmware loaded */    {STATE_CONNECT, EThen::Continue},         {STATE_SELECT_FIRMWARE, EThen::Wait}},
    {STATE_CONNECT,         /* always true */        {STATE_SEARCH, EThen::Wait},              {STATE_SEARCH, EThen::Wait}},
    {STATE_SEARCH,          /* always true */        {STATE_SEARCH_RESULT, EThen::Wait},       {STATE_SEARCH_RESULT, EThen::Wait}},
    {STATE_SEARCH_RESULT,   /* unit found */         {STATE_DOWNLOAD, EThen::PauseIfAuto},     {STATE_SEARCH, EThen::Wait}},
    {STATE_DOWNLOAD,        /* port opened */        {STATE_DOWNLOAD_RESULT, EThen::Wait},     {STATE_PORT_ERROR, EThen::Continue}},
    {STATE_DOWNLOAD_RESULT, /* kernel downloaded */  {STATE_PROGRAM, EThen::Continue},         {STATE_QUESTION, EThen::Wait}},
    {STATE_PROGRAM,         /* always true */        {STATE_PROGRAM_RESULT, EThen::Wait},      {STATE_PROGRAM_RESULT, EThen::Wait}},
    {STATE_PROGRAM_RESULT,  /* success, no repeat */ {STATE_CLOSE, EThen::Wait},               {STATE_QUESTION, EThen::Wait}},
    {STATE_QUESTION,        /* answer Yes */         {STATE_CONNECT, EThen::Continue},         {STATE_CLOSE, EThen::Continue}},
    {STATE_CLOSE,           /* always true */        {STATE_CLOSE, EThen::Close},              {STATE_CLOSE, EThen::Close}},
    {STATE_PORT_ERROR,      /* always true */        {STATE_PORT_ERROR, EThen::Close},         {STATE_PORT_ERROR, EThen::Close}},
};
// clang-format on

} // namespace

STransition NextTransition(int nState, bool bOutcome, bool bAuto)
{
    for (const SStateRow& row : STATE_TABLE)
    {
        if (row.nState == nState)
        {
            STransition next = bOutcome ? row.onTrue : row.onFalse;
            if (next.then == EThen::PauseIfAuto)
            {
                next.then = bAuto ? EThen::PauseThenContinue : EThen::Wait;
            }
            return next;
        }
    }
    return {nState, EThen::Wait};
}
