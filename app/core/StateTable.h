#pragma once
// The wizard's state table: which state follows each step, and whether the wizard then goes on
// by itself or waits. Pure data and one lookup, so it can be read and tested alone; NextStep
// does a state's step and then follows its row.

// The value in m_nState says what the next call of NextStep does. There is no state 13.
enum WizardState : int
{
    STATE_INIT = 0,
    STATE_QUESTION = 1,
    STATE_WELCOME = 2,
    STATE_CONNECT = 3,
    STATE_CHECK_FIRMWARE = 4,
    STATE_SELECT_FIRMWARE = 5,
    STATE_SEARCH = 6,
    STATE_SEARCH_RESULT = 7,
    STATE_DOWNLOAD = 8,
    STATE_DOWNLOAD_RESULT = 9,
    STATE_PROGRAM = 10,
    STATE_PROGRAM_RESULT = 11,
    STATE_CLOSE = 12,
    STATE_PORT_ERROR = 14,
};

// What follows once the new state is stored.
enum class EThen
{
    Wait,              // for a click, an answer or the worker's WM_WORKER_DONE
    Continue,          // post WM_WIZARD_NEXT: the next step runs without a click
    PauseThenContinue, // the pause of automatic mode, then continue
    PauseIfAuto,       // in the table only: PauseThenContinue in automatic mode, else Wait
    Close,             // close the wizard
};

struct STransition
{
    int nState;
    EThen then;
};

// The row of nState for the outcome of its step: bOutcome is what the step decided (see the
// table in StateTable.cpp). nState itself with EThen::Wait for a value not in the table.
STransition NextTransition(int nState, bool bOutcome, bool bAuto);
