# The Controller's member definitions that live in the folder of their
# subsystem: each file defines one subsystem's members of the one Controller,
# the way a category splits a class, so a reader finds an operation by its
# subsystem. They are part of the Controller wherever they lie: the app layer
# and the app library. The rest of each folder is core and may not include
# app/Controller.h. The layer check and the build both read this list; the
# check refuses an entry that defines no Controller member.
set(WENDLE_CONTROLLER_FILES
  camera/MotionWatch.cpp camera/Snapshot.cpp
  custom/CustomCommands.cpp custom/Library.cpp
  intake/DeskNotice.cpp intake/Intake.cpp intake/SyntaxError.cpp
  operations/Confirmation.cpp operations/Faxing.cpp operations/FileSearch.cpp operations/Launch.cpp
  operations/MailCheck.cpp operations/Schedule.cpp
  replies/ChatReplies.cpp replies/ChatScriptInstaller.cpp replies/MailReplies.cpp)
