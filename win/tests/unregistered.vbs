' After unregistration the class can no longer be created by its name.
On Error Resume Next
Dim p
Set p = CreateObject("brosk.Plugin")
WScript.Echo "CreateObject: " & Err.Number
WScript.Echo "RESULT: ok"
