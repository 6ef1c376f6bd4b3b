#pragma once

// Starts explorer with the quoted home page address; false when it could not be started.
bool openHomePage();
