@echo off
rem The MSI package's steps inside a fresh Wine prefix, run by
rem msi_package_test.sh with old.msi, new.msi, rebuilt.msi (new.msi's version
rem built again) and an out folder beside this
rem file. What each step leaves is written to out\, where the test checks it.
setlocal
set here=%~dp0
set out=%here%out
set dir=%ProgramW6432%\Quellkamp
rem The all-users Start menu, and the user's, where Wine puts the shortcuts
rem of a per-machine installation.
set menu=%ProgramData%\Microsoft\Windows\Start Menu\Programs
set user_menu=%APPDATA%\Microsoft\Windows\Start Menu\Programs
set environment=HKLM\System\CurrentControlSet\Control\Session Manager\Environment

call :snapshot before
start /wait msiexec /i "%here%old.msi" /qn
echo install %errorlevel%>>"%out%\status.txt"
call :state installed
"%dir%\quellkamp-list.exe" --version >"%out%\lister-version.txt" 2>&1
"%dir%\quellkamp.exe" --version >"%out%\viewer-version.txt" 2>&1
start /wait msiexec /i "%here%new.msi" /qn
echo upgrade %errorlevel%>>"%out%\status.txt"
call :state upgraded
start /wait msiexec /i "%here%old.msi" /qn
echo downgrade %errorlevel%>>"%out%\status.txt"
call :state downgraded
start /wait msiexec /i "%here%rebuilt.msi" /qn
echo rebuild %errorlevel%>>"%out%\status.txt"
call :state rebuilt
start /wait msiexec /x "%here%rebuilt.msi" /qn
echo remove %errorlevel%>>"%out%\status.txt"
call :state removed
call :snapshot after
start /wait msiexec /i "%here%new.msi" /qn ADDTOPATH=0
echo install-without-path %errorlevel%>>"%out%\status.txt"
call :state without-path
start /wait msiexec /x "%here%new.msi" /qn
echo remove-without-path %errorlevel%>>"%out%\status.txt"
call :state removed-without-path
exit /b 0

rem What is installed: the folder, the shortcut, the PATH, the uninstall
rem entries and the installer's product registration.
:state
dir /b /a "%dir%" >"%out%\%1-files.txt" 2>nul
if exist "%dir%\README.txt" copy "%dir%\README.txt" "%out%\%1-readme.txt" >nul
if exist "%menu%\Quellkamp.lnk" copy "%menu%\Quellkamp.lnk" "%out%\%1.lnk" >nul
if exist "%user_menu%\Quellkamp.lnk" copy "%user_menu%\Quellkamp.lnk" "%out%\%1.lnk" >nul
reg query "%environment%" /v Path >"%out%\%1-path.txt" 2>&1
reg query HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall /s >"%out%\%1-uninstall.txt" 2>&1
reg query HKLM\Software\Classes\Installer\Products /s >"%out%\%1-products.txt" 2>&1
exit /b 0

rem Every file of the system's folders, the user's Start menu and local
rem application data, and the whole registry. (The user's other folders are
rem links to the Unix home folder.)
:snapshot
dir /s /b /a "C:\Program Files" "C:\Program Files (x86)" "C:\ProgramData" "C:\windows" "C:\users\Public" "%APPDATA%\Microsoft\Windows\Start Menu" "%LOCALAPPDATA%" >"%out%\%1-files.txt" 2>nul
reg export HKLM "%out%\%1-hklm.reg" /y >nul
reg export HKCU "%out%\%1-hkcu.reg" /y >nul
exit /b 0
