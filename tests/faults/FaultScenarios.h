// The jobs a fault case runs, each set up for real in a fresh folder: what the
// run ended with, and what a clean run of the same job ends with.
#pragma once

#include "PluginTestSupport.h"

#include <string>
#include <vector>

namespace qvdfault {

struct ScenarioRun {
    bool created = false;  // the factory handed out an object
    HRESULT startResult = E_FAIL;
    bool ended = true;  // the state left 2 within the bound
    int32_t state = 0;
    uint32_t exitCode = 0;
    std::vector<qvdtest::SinkCall> calls;
    bool installerStarted = false;
    uint32_t objectsLeft = 0;  // GetObjectCount() once the object was released
};

struct ScenarioPlan {
    const char* name;
    const wchar_t* fixture;  // the signed fake installer's kind
    const char* exitCode;
    bool installedBefore;  // the product's proof is complete before the run
    bool writesProof;      // the installer completes the proof
    bool cancelled;        // the host cancels once the installer runs
    bool jobId;            // the job carries an id of its own
    int32_t cleanState;
    bool cleanStarts;     // a clean run starts the installer
    int32_t cleanStatus;  // a status a clean run reports (0: none required)
};

const std::vector<ScenarioPlan>& Scenarios();
const ScenarioPlan* FindScenario(const std::string& name);

// Runs the scenario's job once on a new object of the loaded plug-in.
ScenarioRun RunScenario(const ScenarioPlan& plan, qvdtest::LoadedPlugin& dll);

// Empty when the run is one the description allows after a failure; else why not.
std::string FalseSuccess(const ScenarioPlan& plan, const ScenarioRun& run);
// Empty when the run is the clean outcome; else how it differs.
std::string NotClean(const ScenarioPlan& plan, const ScenarioRun& run);

}  // namespace qvdfault
