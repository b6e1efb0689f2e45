<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AudioText</name>
    <message>
        <source>磁盘空间不足</source>
        <translation>not enough disk space</translation>
    </message>
    <message>
        <source>超出了磁盘配额</source>
        <translation>the disk quota is exceeded</translation>
    </message>
    <message>
        <source>文件超出了允许的大小</source>
        <translation>the file is larger than allowed</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>磁盘是只读的</source>
        <translation>the disk is read-only</translation>
    </message>
    <message>
        <source>文件或文件夹不存在</source>
        <translation>no such file or folder</translation>
    </message>
    <message>
        <source>路径中有一部分不是文件夹</source>
        <translation>part of the path is not a folder</translation>
    </message>
    <message>
        <source>这是一个文件夹</source>
        <translation>this is a folder</translation>
    </message>
    <message>
        <source>文件名太长</source>
        <translation>the file name is too long</translation>
    </message>
    <message>
        <source>符号链接层数太多</source>
        <translation>too many levels of symbolic links</translation>
    </message>
    <message>
        <source>文件已存在</source>
        <translation>the file already exists</translation>
    </message>
    <message>
        <source>读写出错</source>
        <translation>input/output error</translation>
    </message>
    <message>
        <source>打开的文件太多</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>对方已关闭连接</source>
        <translation>the other end closed the connection</translation>
    </message>
    <message>
        <source>不是可以运行的程序</source>
        <translation>not a program that can be run</translation>
    </message>
    <message>
        <source>文件正被占用</source>
        <translation>the file is busy</translation>
    </message>
    <message>
        <source>资源暂时不可用</source>
        <translation>resource temporarily unavailable</translation>
    </message>
    <message>
        <source>参数无效</source>
        <translation>invalid argument</translation>
    </message>
    <message>
        <source>设备不存在</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>系统错误 %1（%2）</source>
        <translation>system error %1 (%2)</translation>
    </message>
    <message>
        <source>文件数据无效</source>
        <translation>the file&apos;s data is invalid</translation>
    </message>
    <message>
        <source>文件意外结束</source>
        <translation>unexpected end of file</translation>
    </message>
    <message>
        <source>不支持这种文件格式</source>
        <translation>this file format is not supported</translation>
    </message>
    <message>
        <source>无法写入这种文件格式</source>
        <translation>this file format cannot be written</translation>
    </message>
    <message>
        <source>解码库错误（%1）</source>
        <translation>decoder library error (%1)</translation>
    </message>
    <message>
        <source>声音服务器拒绝访问</source>
        <translation>the sound server refused access</translation>
    </message>
    <message>
        <source>声音服务器没有运行</source>
        <translation>the sound server is not running</translation>
    </message>
    <message>
        <source>与声音服务器的连接已断开</source>
        <translation>the connection to the sound server was lost</translation>
    </message>
    <message>
        <source>声音服务器没有应答</source>
        <translation>the sound server does not respond</translation>
    </message>
    <message>
        <source>设备已不存在</source>
        <translation>the device no longer exists</translation>
    </message>
    <message>
        <source>设备正被占用</source>
        <translation>the device is busy</translation>
    </message>
    <message>
        <source>设备不支持这项操作</source>
        <translation>the device does not support this operation</translation>
    </message>
    <message>
        <source>设备读写出错</source>
        <translation>device input/output error</translation>
    </message>
    <message>
        <source>声音服务器错误 %1（%2）</source>
        <translation>sound server error %1 (%2)</translation>
    </message>
    <message>
        <source>WAV 库错误（%1）</source>
        <translation>WAV library error (%1)</translation>
    </message>
</context>
<context>
    <name>PortalShortcuts</name>
    <message>
        <source>开始录制</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>暂停/恢复录制</source>
        <translation>Pause or resume recording</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop recording</translation>
    </message>
</context>
<context>
    <name>sonalto::TAudioOptionForm</name>
    <message>
        <source>音频选项</source>
        <translation>Audio Options</translation>
    </message>
    <message>
        <source>参数</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>16 位</source>
        <translation>16 bit</translation>
    </message>
    <message>
        <source>8 位</source>
        <translation>8 bit</translation>
    </message>
    <message>
        <source>立体声</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>单声道</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>采样率:</source>
        <translation>Sample rate:</translation>
    </message>
    <message>
        <source>采样大小:</source>
        <translation>Sample size:</translation>
    </message>
    <message>
        <source>音轨:</source>
        <translation>Channels:</translation>
    </message>
    <message>
        <source>录制设置:</source>
        <translation>Recording settings:</translation>
    </message>
    <message>
        <source>音量/设备</source>
        <translation>Volume/Devices</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>保存为 WAV</source>
        <translation>Save as WAV</translation>
    </message>
    <message>
        <source>保存为 MP3</source>
        <translation>Save as MP3</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>没有找到音量控制程序 (pavucontrol)。</source>
        <translation>No volume control program (pavucontrol) was found.</translation>
    </message>
</context>
<context>
    <name>sonalto::TBuyForm</name>
    <message>
        <source>关于 Sonalto</source>
        <translation>About Sonalto</translation>
    </message>
    <message>
        <source>版本 </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>一个简单易用的录音软件。</source>
        <translation>A simple, easy-to-use sound recorder.</translation>
    </message>
    <message>
        <source>录制麦克风、线路输入或声卡播放的声音。</source>
        <translation>Records a microphone, the line-in or what the sound card plays.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>sonalto::TForm1</name>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>常规选项...</source>
        <translation>General Options...</translation>
    </message>
    <message>
        <source>键盘选项...</source>
        <translation>Keyboard Options...</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>帮助文件</source>
        <translation>Help File</translation>
    </message>
    <message>
        <source>提交问题/错误</source>
        <translation>Report a Problem/Bug</translation>
    </message>
    <message>
        <source>Sonalto 网站</source>
        <translation>Sonalto Website</translation>
    </message>
    <message>
        <source>Kestrova 其它软件</source>
        <translation>More Kestrova Software</translation>
    </message>
    <message>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>录制中</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>常规选项</source>
        <translation>General Options</translation>
    </message>
    <message>
        <source>热键</source>
        <translation>Hot Keys</translation>
    </message>
    <message>
        <source>键盘选项</source>
        <translation>Keyboard Options</translation>
    </message>
    <message>
        <source>日程表</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>日程</source>
        <translation>Scheduled times</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>录制时间</source>
        <translation>Recording time</translation>
    </message>
    <message>
        <source>检测器</source>
        <translation>Detector</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>模式指示</source>
        <translation>Mode indicator</translation>
    </message>
    <message>
        <source>状态行</source>
        <translation>Status line</translation>
    </message>
    <message>
        <source>频谱</source>
        <translation>Spectrum</translation>
    </message>
    <message>
        <source>输入电平</source>
        <translation>Input level</translation>
    </message>
    <message>
        <source>输入电平 (dBFS)</source>
        <translation>Input level (dBFS)</translation>
    </message>
    <message>
        <source>削波</source>
        <translation>Clip</translation>
    </message>
    <message>
        <source>输入达到满幅；单击清除</source>
        <translation>The input reached full scale; click to clear</translation>
    </message>
    <message>
        <source>设备设置</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>录制设备:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>录制设备</source>
        <translation>Recording device</translation>
    </message>
    <message>
        <source>输入声道:</source>
        <translation>Input:</translation>
    </message>
    <message>
        <source>输入声道</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>录制音量:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>录音静音</source>
        <translation>Mute recording</translation>
    </message>
    <message>
        <source>录音音量</source>
        <translation>Recording volume</translation>
    </message>
    <message>
        <source>输出设置 </source>
        <translation>Output </translation>
    </message>
    <message>
        <source>输出格式:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>输出格式</source>
        <translation>Output format</translation>
    </message>
    <message>
        <source>设置...</source>
        <translation>Setup...</translation>
    </message>
    <message>
        <source>采样率:</source>
        <translation>Sample rate:</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Sample rate</translation>
    </message>
    <message>
        <source>声道:</source>
        <translation>Channels:</translation>
    </message>
    <message>
        <source>声道</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>文件管理器   </source>
        <translation>Files   </translation>
    </message>
    <message>
        <source>输出文件夹:</source>
        <translation>Folder:</translation>
    </message>
    <message>
        <source>输出文件夹</source>
        <translation>Output folder</translation>
    </message>
    <message>
        <source>选择输出文件夹</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>打开输出文件夹</source>
        <translation>Open the output folder</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>持续时间</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>录音文件列表</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>打开  </source>
        <translation>Open  </translation>
    </message>
    <message>
        <source>更多文件操作</source>
        <translation>More file actions</translation>
    </message>
    <message>
        <source> 删除   </source>
        <translation> Delete   </translation>
    </message>
    <message>
        <source>另存为...</source>
        <translation>Save As...</translation>
    </message>
    <message>
        <source>邮件到... </source>
        <translation>Mail To... </translation>
    </message>
    <message>
        <source>暂停播放</source>
        <translation>Pause playback</translation>
    </message>
    <message>
        <source>停止播放</source>
        <translation>Stop playback</translation>
    </message>
    <message>
        <source>第一个</source>
        <translation>First</translation>
    </message>
    <message>
        <source>上一个</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>下一个</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>最后一个</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>播放位置</source>
        <translation>Playback position</translation>
    </message>
    <message>
        <source>播放静音</source>
        <translation>Mute playback</translation>
    </message>
    <message>
        <source>播放音量</source>
        <translation>Playback volume</translation>
    </message>
    <message>
        <source>文件统计</source>
        <translation>File count</translation>
    </message>
    <message>
        <source>单击这里显示      
Sonalto 窗口  </source>
        <translation>Click here to show
the Sonalto window</translation>
    </message>
    <message>
        <source>双击这里显示      
Sonalto 窗口  </source>
        <translation>Double-click here to show
the Sonalto window</translation>
    </message>
    <message>
        <source>上次退出时：</source>
        <translation>When Sonalto last ended: </translation>
    </message>
    <message>
        <source>无法找到 WMA 编码器</source>
        <translation>Can&apos;t find the WMA encoder</translation>
    </message>
    <message>
        <source>设置无法保存到 </source>
        <translation>The settings can&apos;t be saved to </translation>
    </message>
    <message>
        <source>注意</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>一个文件正在进行录制

你是否想立即停止并退出程序？        </source>
        <translation>A file is being recorded.

Do you want to stop it and exit now?</translation>
    </message>
    <message>
        <source>找不到帮助文件: </source>
        <translation>Can&apos;t find the help file: </translation>
    </message>
    <message>
        <source>当前模式</source>
        <translation>current mode</translation>
    </message>
    <message>
        <source>打开或关闭声音检测</source>
        <translation>turns sound detection on or off</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>声音服务器没有响应，正在等待…</source>
        <translation>The sound server does not respond; waiting…</translation>
    </message>
    <message>
        <source>无法启动默认的录音设备！</source>
        <translation>Can&apos;t start the default recording device!</translation>
    </message>
    <message>
        <source>无法获取录音设备！</source>
        <translation>Can&apos;t get the recording devices!</translation>
    </message>
    <message>
        <source>检测声音从 </source>
        <translation>Detecting sound from </translation>
    </message>
    <message>
        <source>找不到输入声道: </source>
        <translation>Input not found: </translation>
    </message>
    <message>
        <source>输入声道已移除: </source>
        <translation>Input removed: </translation>
    </message>
    <message>
        <source>找不到录制设备: </source>
        <translation>Recording device not found: </translation>
    </message>
    <message>
        <source>录制设备已移除: </source>
        <translation>Recording device removed: </translation>
    </message>
    <message>
        <source>无法使用录音设备: </source>
        <translation>Can&apos;t use the recording device: </translation>
    </message>
    <message>
        <source>无法使用输入声道: </source>
        <translation>Can&apos;t use the input: </translation>
    </message>
    <message>
        <source>无法设置录音音量</source>
        <translation>Can&apos;t set the recording volume</translation>
    </message>
    <message>
        <source>无法开始录制</source>
        <translation>Can&apos;t start recording</translation>
    </message>
    <message>
        <source>录制从 </source>
        <translation>Recording from </translation>
    </message>
    <message>
        <source>没有可用的输入声道</source>
        <translation>No input available</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>打开使用...</source>
        <translation>Open With...</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>邮件到...</source>
        <translation>Mail To...</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>没有找到可以打开此文件的程序。</source>
        <translation>No program was found that can open this file.</translation>
    </message>
    <message>
        <source>无法启动 </source>
        <translation>Can&apos;t start </translation>
    </message>
    <message>
        <source>文件已存在，没有覆盖: </source>
        <translation>The file exists and was not overwritten: </translation>
    </message>
    <message>
        <source>无法保存文件: </source>
        <translation>Can&apos;t save the file: </translation>
    </message>
    <message>
        <source>没有设置邮件程序，无法发送邮件。</source>
        <translation>No mail program is set up; the mail can&apos;t be sent.</translation>
    </message>
    <message>
        <source>无法删除文件: </source>
        <translation>Can&apos;t delete the file: </translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source> 已被其它程序占用</source>
        <translation> already taken by another program</translation>
    </message>
    <message>
        <source>，无法使用。</source>
        <translation> and can&apos;t be used.</translation>
    </message>
    <message>
        <source>已停止播放 %1</source>
        <translation>Stopped playing %1</translation>
    </message>
    <message>
        <source>录音到 </source>
        <translation>Recording to </translation>
    </message>
    <message>
        <source>正在开始录制…</source>
        <translation>Starting to record…</translation>
    </message>
    <message>
        <source>正在完成…</source>
        <translation>Finishing…</translation>
    </message>
    <message>
        <source>Sonalto - 正在完成录音</source>
        <translation>Sonalto - Finishing the recording</translation>
    </message>
    <message>
        <source>己完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Sonalto - 停止</source>
        <translation>Sonalto - Stopped</translation>
    </message>
    <message>
        <source> 未保存</source>
        <translation> was not saved</translation>
    </message>
    <message>
        <source>立即</source>
        <translation>Now</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Sonalto 录音</source>
        <translation>Sonalto recording</translation>
    </message>
    <message>
        <source>上次退出时正在录制的 %1 已保存</source>
        <translation>%1, which was being recorded when Sonalto last ended, has been saved</translation>
    </message>
    <message>
        <source>找不到输出文件夹 %1，录音暂存到 %2</source>
        <translation>The output folder %1 can&apos;t be found; recordings go to %2 for now</translation>
    </message>
    <message>
        <source>正在完成 %1…</source>
        <translation>Finishing %1…</translation>
    </message>
    <message>
        <source>Schedule is running.

Do you want to stop it and Exit now?</source>
        <translation>A schedule is set.

Do you want to cancel it and exit now?</translation>
    </message>
    <message>
        <source>A file is Playing.

Do you want to stop it and Exit now?</source>
        <translation>A file is playing.

Do you want to stop it and exit now?</translation>
    </message>
    <message>
        <source>Detecting sound from </source>
        <translation>Detecting sound from </translation>
    </message>
    <message>
        <source>Has not installed OutLook,or OutLook opened the mistake!</source>
        <translation>No mail program is installed, or it could not be opened.</translation>
    </message>
    <message>
        <source>The file is Play.</source>
        <translation>The file is playing.</translation>
    </message>
    <message>
        <source>Wrong</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Playing </source>
        <translation>Playing </translation>
    </message>
    <message>
        <source>Can&apos;t play the file.</source>
        <translation>Can&apos;t play the file.</translation>
    </message>
    <message>
        <source>A file is Playing. 

Do you want to stop it and Recording now?</source>
        <translation>A file is playing.

Do you want to stop it and record now?</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source> is saved</source>
        <translation> is saved</translation>
    </message>
    <message>
        <source>播放</source>
        <comment>the playback mode</comment>
        <translation>Playback</translation>
    </message>
    <message>
        <source>录制</source>
        <comment>the status of the row being recorded</comment>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Saved</source>
        <comment>the status of a row</comment>
        <translation>Saved</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>the status of a row</comment>
        <translation>Playing</translation>
    </message>
    <message>
        <source>Pause</source>
        <comment>the status of a row</comment>
        <translation>Paused</translation>
    </message>
    <message>
        <source>Stop</source>
        <comment>the status of a row</comment>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>未设置热键：点工具栏的“热键”设置，“默认”即默认键</source>
        <translation>No hot keys are set: click “Hot Keys” on the toolbar; “Default” gives the default keys</translation>
    </message>
</context>
<context>
    <name>sonalto::TGeneralOptionForm</name>
    <message>
        <source>常规选项</source>
        <translation>General Options</translation>
    </message>
    <message>
        <source>常规</source>
        <translation>General</translation>
    </message>
    <message>
        <source>输出文件夹</source>
        <translation>Output folder</translation>
    </message>
    <message>
        <source>选择输出文件夹</source>
        <translation>Choose the output folder</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>当开机时启动 Sonalto</source>
        <translation>Start Sonalto when the computer starts</translation>
    </message>
    <message>
        <source>输出文件名</source>
        <translation>Output file name</translation>
    </message>
    <message>
        <source>+ 自动编号 = 文件名</source>
        <translation>+ automatic number = file name</translation>
    </message>
    <message>
        <source>关闭时最小化到托盘</source>
        <translation>Minimize to the tray on close</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>不能使用所选的文件夹：%1。

输出文件夹仍是 %2</source>
        <translation>The chosen folder can&apos;t be used: %1.

The output folder is still %2</translation>
    </message>
    <message>
        <source>Please choose directory</source>
        <translation>Please choose a folder</translation>
    </message>
    <message>
        <source>设置无法保存: %1

这次运行中使用所选的文件夹，下次启动时不会记得它。</source>
        <translation>The settings can&apos;t be saved: %1

The chosen folder is used while Sonalto runs this time, but it won&apos;t be remembered at the next start.</translation>
    </message>
</context>
<context>
    <name>sonalto::TKeyOptionForm</name>
    <message>
        <source>键盘选项</source>
        <translation>Keyboard Options</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source> 删除</source>
        <translation> Delete</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
    <message>
        <source> 默认</source>
        <translation> Default</translation>
    </message>
    <message>
        <source>录制键</source>
        <translation>Record key</translation>
    </message>
    <message>
        <source>暂停/恢复键</source>
        <translation>Pause/Resume key</translation>
    </message>
    <message>
        <source>停止键</source>
        <translation>Stop key</translation>
    </message>
    <message>
        <source>热键提示</source>
        <translation>Hot key hint</translation>
    </message>
    <message>
        <source>按键说明</source>
        <translation>Key help</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1F%2 由系统用来切换到文本控制台，不能用作热键</source>
        <translation>%1F%2 is used by the system to switch to a text console and can&apos;t be a hot key</translation>
    </message>
    <message>
        <source>%1这个键不能用作热键</source>
        <translation>%1this key can&apos;t be a hot key</translation>
    </message>
    <message>
        <source>%1 无法存入 HotKey.ini，不能用作热键</source>
        <translation>%1 can&apos;t be stored in HotKey.ini and can&apos;t be a hot key</translation>
    </message>
    <message>
        <source>只按了 %1：请按住修饰键再按一个其它的键</source>
        <translation>Only %1 was pressed: hold a modifier key and press another key</translation>
    </message>
    <message>
        <source>%1。%2保持原来的键。</source>
        <translation>%1. %2 keeps its key.</translation>
    </message>
    <message>
        <source>热键无法保存: %1</source>
        <translation>The hot keys can&apos;t be saved: %1</translation>
    </message>
    <message>
        <source>Record Key = Pause/Resume Key!</source>
        <translation>The record key and the pause/resume key are the same!</translation>
    </message>
    <message>
        <source>Record Key = Stop Key!</source>
        <translation>The record key and the stop key are the same!</translation>
    </message>
    <message>
        <source>Pause/Resume Key = Stop Key!</source>
        <translation>The pause/resume key and the stop key are the same!</translation>
    </message>
    <message>
        <source>

Please use different key</source>
        <translation>

Please use different keys.</translation>
    </message>
    <message>
        <source>当前是 Wayland 会话，全局热键不可用：其它程序的窗口有焦点时，这些键不起作用。</source>
        <translation>This is a Wayland session, where global hot keys are not available: these keys do nothing while another program&apos;s window has the focus.</translation>
    </message>
    <message>
        <source>尚未设置热键：点一个框再按下组合键，或点“默认”使用默认键。</source>
        <translation>No hot keys are set yet: click a box and press a key combination, or click “Default” for the default keys.</translation>
    </message>
    <message>
        <source>未设置热键</source>
        <translation>No hot keys set</translation>
    </message>
    <message>
        <source>录制、暂停、停止已登记为桌面快捷键，可在桌面的快捷键设置中更改。</source>
        <translation> Record, pause and stop are registered as desktop shortcuts; change them in the desktop&apos;s shortcut settings.</translation>
    </message>
    <message>
        <source>可在桌面的快捷键设置中把命令 sonalto --toggle 设为录制/停止的快捷键。</source>
        <translation> To record and stop with a key, bind the command sonalto --toggle to a shortcut in the desktop&apos;s shortcut settings.</translation>
    </message>
</context>
<context>
    <name>sonalto::TMp3Form</name>
    <message>
        <source>编码比特率</source>
        <translation>Encoding bit rate</translation>
    </message>
    <message>
        <source>恒定比特率 (CBR)</source>
        <translation>Constant bit rate (CBR)</translation>
    </message>
    <message>
        <source>比特率 (kbps)</source>
        <translation>Bit rate (kbps)</translation>
    </message>
    <message>
        <source>可变比特率 (VBR)</source>
        <translation>Variable bit rate (VBR)</translation>
    </message>
    <message>
        <source>最小比特率 (kbps)</source>
        <translation>Minimum bit rate (kbps)</translation>
    </message>
    <message>
        <source>最大比特率 (kbps)</source>
        <translation>Maximum bit rate (kbps)</translation>
    </message>
    <message>
        <source>质量</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>9 (最低)</source>
        <translation>9 (lowest)</translation>
    </message>
    <message>
        <source>0 (最高)</source>
        <translation>0 (highest)</translation>
    </message>
    <message>
        <source>高质量 = 大文件</source>
        <translation>Higher quality = larger file</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Default</translation>
    </message>
</context>
<context>
    <name>sonalto::TScheduleForm</name>
    <message>
        <source>日程表</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>设置录制开始</source>
        <translation>Set the recording start</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>设置录制停止</source>
        <translation>Set the recording stop</translation>
    </message>
    <message>
        <source>录制时长</source>
        <translation>Recording length</translation>
    </message>
    <message>
        <source>设置停止时间</source>
        <translation>Set the stop time</translation>
    </message>
    <message>
        <source>开始日期</source>
        <translation>Start date</translation>
    </message>
    <message>
        <source>开始时间</source>
        <translation>Start time</translation>
    </message>
    <message>
        <source>停止日期</source>
        <translation>Stop date</translation>
    </message>
    <message>
        <source>停止时间</source>
        <translation>Stop time</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>sonalto::TTrayIcon</name>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show Window</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>sonalto::audio::AudioText</name>
    <message>
        <source>没有选择录音输入。</source>
        <translation>No recording input is selected.</translation>
    </message>
    <message>
        <source>音频系统尚未启动。</source>
        <translation>The audio system has not started yet.</translation>
    </message>
    <message>
        <source>找不到录音输入“%1”。</source>
        <translation>Can&apos;t find the recording input “%1”.</translation>
    </message>
    <message>
        <source>录音输入“%1”已不可用。</source>
        <translation>The recording input “%1” is no longer available.</translation>
    </message>
    <message>
        <source>无法打开“%1”：%2。</source>
        <translation>Can&apos;t open “%1”: %2.</translation>
    </message>
    <message>
        <source>“%1”不是音频文件。</source>
        <translation>“%1” is not an audio file.</translation>
    </message>
    <message>
        <source>“%1”中没有可以播放的音频。</source>
        <translation>“%1” holds no audio that can be played.</translation>
    </message>
    <message>
        <source>无法为“%1”准备解码器。</source>
        <translation>Can&apos;t prepare a decoder for “%1”.</translation>
    </message>
    <message>
        <source>无法解码“%1”：%2。</source>
        <translation>Can&apos;t decode “%1”: %2.</translation>
    </message>
    <message>
        <source>内存不足。</source>
        <translation>Out of memory.</translation>
    </message>
    <message>
        <source>无法开始录音。</source>
        <translation>Can&apos;t start recording.</translation>
    </message>
    <message>
        <source>录音已中断。</source>
        <translation>The recording was interrupted.</translation>
    </message>
    <message>
        <source>%1编码器提示：%2</source>
        <translation>%1 encoder says: %2</translation>
    </message>
    <message>
        <source>没有指定编码器程序。</source>
        <translation>No encoder program is given.</translation>
    </message>
    <message>
        <source>无法为编码器创建管道：%1。</source>
        <translation>Can&apos;t create a pipe for the encoder: %1.</translation>
    </message>
    <message>
        <source>无法启动编码器“%1”：%2。</source>
        <translation>Can&apos;t start the encoder “%1”: %2.</translation>
    </message>
    <message>
        <source>找不到这个程序</source>
        <translation>the program was not found</translation>
    </message>
    <message>
        <source>编码器“%1”没有创建文件“%2”。</source>
        <translation>The encoder “%1” did not create the file “%2”.</translation>
    </message>
    <message>
        <source>编码器“%1”已不在运行。</source>
        <translation>The encoder “%1” is no longer running.</translation>
    </message>
    <message>
        <source>编码器“%1”已退出，退出码为 %2。</source>
        <translation>The encoder “%1” exited with code %2.</translation>
    </message>
    <message>
        <source>编码器“%1”被信号 %2终止。</source>
        <translation>The encoder “%1” was killed by signal %2.</translation>
    </message>
    <message>
        <source>编码器“%1”已停止。</source>
        <translation>The encoder “%1” has stopped.</translation>
    </message>
    <message>
        <source>编码器“%1”被暂停，已有 %2 秒没有接收音频。</source>
        <translation>The encoder “%1” is suspended and has taken no audio for %2 seconds.</translation>
    </message>
    <message>
        <source>编码器“%1”已有 %2 秒没有接收音频。</source>
        <translation>The encoder “%1” has taken no audio for %2 seconds.</translation>
    </message>
    <message>
        <source>无法向编码器“%1”写入音频：%2。</source>
        <translation>Can&apos;t write audio to the encoder “%1”: %2.</translation>
    </message>
    <message>
        <source>编码器“%1”在 %2 秒内没有完成文件，已被结束。</source>
        <translation>The encoder “%1” did not finish the file within %2 seconds and was ended.</translation>
    </message>
    <message>
        <source>无法加载程序库：%1</source>
        <translation>Can&apos;t load a library: %1</translation>
    </message>
    <message>
        <source>程序库 %1 中缺少 %2</source>
        <translation>The library %1 lacks %2</translation>
    </message>
    <message>
        <source>Sonalto 无法加载所需的程序库：%1</source>
        <translation>Sonalto can&apos;t load a library it needs: %1</translation>
    </message>
    <message>
        <source>无法连接声音服务器：%1。</source>
        <translation>Can&apos;t connect to the sound server: %1.</translation>
    </message>
    <message>
        <source>没有连接到声音服务器。</source>
        <translation>Not connected to the sound server.</translation>
    </message>
    <message>
        <source>输入“%1”已不可用。</source>
        <translation>The input “%1” is no longer available.</translation>
    </message>
    <message>
        <source>无法切换到“%1”：%2。</source>
        <translation>Can&apos;t switch to “%1”: %2.</translation>
    </message>
    <message>
        <source>不支持这种录音格式。</source>
        <translation>This recording format is not supported.</translation>
    </message>
    <message>
        <source>无法从“%1”录音：%2。</source>
        <translation>Can&apos;t record from “%1”: %2.</translation>
    </message>
    <message>
        <source>声音服务器没有回答</source>
        <translation>the sound server did not answer</translation>
    </message>
    <message>
        <source>与声音服务器的连接已断开。</source>
        <translation>The connection to the sound server was lost.</translation>
    </message>
    <message>
        <source>从“%1”录音时出错：%2。</source>
        <translation>Error while recording from “%1”: %2.</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>无法启动与声音服务器通信的线程</source>
        <translation>can&apos;t start the thread that talks to the sound server</translation>
    </message>
    <message>
        <source>声音服务器没有应答</source>
        <translation>the sound server does not respond</translation>
    </message>
    <message>
        <source>不支持这种播放格式。</source>
        <translation>This playback format is not supported.</translation>
    </message>
    <message>
        <source>无法在默认输出设备上播放：%1。</source>
        <translation>Can&apos;t play on the default output device: %1.</translation>
    </message>
    <message>
        <source>没有输入“%1”。</source>
        <translation>There is no input “%1”.</translation>
    </message>
    <message>
        <source>无法写入 WAV 文件：%1。</source>
        <translation>Can&apos;t write the WAV file: %1.</translation>
    </message>
    <message>
        <source>无法完成 WAV 文件：%1。</source>
        <translation>Can&apos;t finish the WAV file: %1.</translation>
    </message>
    <message>
        <source>无法创建“%1”：%2。</source>
        <translation>Can&apos;t create “%1”: %2.</translation>
    </message>
    <message>
        <source>无法使用 WMA 文件格式。</source>
        <translation>The WMA file format can&apos;t be used.</translation>
    </message>
    <message>
        <source>无法以 %1 Hz、%2 声道写入 WMA。</source>
        <translation>Can&apos;t write WMA at %1 Hz with %2 channels.</translation>
    </message>
    <message>
        <source>无法准备 WMA 音频流。</source>
        <translation>Can&apos;t prepare the WMA audio stream.</translation>
    </message>
    <message>
        <source>无法写入“%1”：%2。</source>
        <translation>Can&apos;t write “%1”: %2.</translation>
    </message>
    <message>
        <source>无法完成 WMA 文件：%1。</source>
        <translation>Can&apos;t finish the WMA file: %1.</translation>
    </message>
    <message>
        <source>无法写入 WMA 文件：%1。</source>
        <translation>Can&apos;t write the WMA file: %1.</translation>
    </message>
    <message>
        <source>无法编码 WMA 音频：%1。</source>
        <translation>Can&apos;t encode WMA audio: %1.</translation>
    </message>
    <message>
        <source>%1（输出混音）</source>
        <translation>%1 (output mix)</translation>
    </message>
    <message>
        <source>虚拟设备</source>
        <translation>Virtual devices</translation>
    </message>
</context>
<context>
    <name>sonalto::hotkeys</name>
    <message>
        <source>录制键</source>
        <translation>Record key</translation>
    </message>
    <message>
        <source>停止键</source>
        <translation>Stop key</translation>
    </message>
    <message>
        <source>暂停/恢复键</source>
        <translation>Pause/Resume key</translation>
    </message>
    <message>
        <source>无法读取 %1，没有可用的热键</source>
        <translation>Can&apos;t read %1; no hot keys are available</translation>
    </message>
    <message>
        <source>HotKey.ini 中这些值无法用作热键，已忽略：%1</source>
        <translation>These values in HotKey.ini can&apos;t be hot keys and were ignored: %1</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>%1 无法存入 HotKey.ini</source>
        <translation>%1 can&apos;t be stored in HotKey.ini</translation>
    </message>
</context>
<context>
    <name>sonalto::library</name>
    <message>
        <source>总共 %1 个文件 (%2 mp3, %3 wma, %4 ogg, %5 wav)</source>
        <translation>Files: %1 (%2 mp3, %3 wma, %4 ogg, %5 wav)</translation>
    </message>
</context>
<context>
    <name>sonalto::options</name>
    <message>
        <source>8.000 KHz - 质量差</source>
        <translation>8.000 KHz - Poor quality</translation>
    </message>
    <message>
        <source>11.025 KHz - 低质量</source>
        <translation>11.025 KHz - Low quality</translation>
    </message>
    <message>
        <source>22.050 KHz - 中等质量</source>
        <translation>22.050 KHz - Medium quality</translation>
    </message>
    <message>
        <source>44.100 KHz - CD 质量 (Recommend)</source>
        <translation>44.100 KHz - CD quality (Recommended)</translation>
    </message>
    <message>
        <source>48.000 KHz - DVD 质量</source>
        <translation>48.000 KHz - DVD quality</translation>
    </message>
    <message>
        <source>MP3 文件</source>
        <translation>MP3 file</translation>
    </message>
    <message>
        <source>WMA 文件</source>
        <translation>WMA file</translation>
    </message>
    <message>
        <source>OGG 文件</source>
        <translation>OGG file</translation>
    </message>
    <message>
        <source>WAV 文件</source>
        <translation>WAV file</translation>
    </message>
    <message>
        <source>单声道</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>立体声（推荐）</source>
        <translation>Stereo (recommended)</translation>
    </message>
</context>
<context>
    <name>sonalto::recording</name>
    <message>
        <source>没有可用的声音服务器</source>
        <translation>no sound server is available</translation>
    </message>
    <message>
        <source>录制中丢失 %1 秒音频（%2 处）</source>
        <translation>Lost while recording: %1 s of audio in %2 gap(s)</translation>
    </message>
    <message>
        <source>没有可用的声音输出</source>
        <translation>no sound output is available</translation>
    </message>
    <message>
        <source>声音输出拒绝播放</source>
        <translation>the sound output refused to play</translation>
    </message>
    <message>
        <source>无法开始录制 OGG 音频</source>
        <translation>Can&apos;t start recording OGG audio</translation>
    </message>
    <message>
        <source>无法开始录制 WAV 音频</source>
        <translation>Can&apos;t start recording WAV audio</translation>
    </message>
    <message>
        <source>

已录制的部分已保存到 %1</source>
        <translation>

What was recorded has been saved to %1</translation>
    </message>
    <message>
        <source>

没有录到可以保存的音频，%1 未保存。</source>
        <translation>

No audio was recorded that could be saved; %1 was not saved.</translation>
    </message>
    <message>
        <source>录制意外停止: %1</source>
        <translation>The recording stopped unexpectedly: %1</translation>
    </message>
    <message>
        <source>录音已中断</source>
        <translation>the recording was interrupted</translation>
    </message>
    <message>
        <source>编码器已退出</source>
        <translation>the encoder exited</translation>
    </message>
    <message>
        <source>录音文件或它的文件夹已被删除或移走</source>
        <translation>the recording&apos;s file or its folder was deleted or moved</translation>
    </message>
    <message>
        <source>文件中没有录到音频</source>
        <translation>no audio was recorded in the file</translation>
    </message>
    <message>
        <source>Couldn&apos;t start recording</source>
        <translation>Couldn&apos;t start recording</translation>
    </message>
    <message>
        <source>Couldn&apos;t start Encoding for MP3</source>
        <translation>Couldn&apos;t start encoding MP3</translation>
    </message>
    <message>
        <source>Cannot Start WMA Encoding for WMA</source>
        <translation>Can&apos;t start WMA encoding</translation>
    </message>
    <message>
        <source>Cannot start recording for WMA</source>
        <translation>Can&apos;t start recording WMA</translation>
    </message>
</context>
<context>
    <name>sonalto::scheduler</name>
    <message>
        <source>1 分钟</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>2 分钟</source>
        <translation>2 minutes</translation>
    </message>
    <message>
        <source>5 分钟</source>
        <translation>5 minutes</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 minutes</translation>
    </message>
    <message>
        <source>15 分钟</source>
        <translation>15 minutes</translation>
    </message>
    <message>
        <source>20 分钟</source>
        <translation>20 minutes</translation>
    </message>
    <message>
        <source>30 分钟</source>
        <translation>30 minutes</translation>
    </message>
    <message>
        <source>45 分钟</source>
        <translation>45 minutes</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>2 小时</source>
        <translation>2 hours</translation>
    </message>
    <message>
        <source>3 小时</source>
        <translation>3 hours</translation>
    </message>
    <message>
        <source>4 小时</source>
        <translation>4 hours</translation>
    </message>
    <message>
        <source>开始时间已经过去，请设置以后的时间。</source>
        <translation>The start time has passed; please set a later time.</translation>
    </message>
    <message>
        <source>停止时间已经过去，请设置以后的时间。</source>
        <translation>The stop time has passed; please set a later time.</translation>
    </message>
    <message>
        <source>停止时间必须晚于开始时间。</source>
        <translation>The stop time must be later than the start time.</translation>
    </message>
</context>
<context>
    <name>sonalto::settings</name>
    <message>
        <source>文件夹的名称中含有换行符，设置文件无法保存它</source>
        <translation>the folder&apos;s name holds a line break, which the settings file can&apos;t store</translation>
    </message>
    <message>
        <source>文件夹 %1 不存在</source>
        <translation>the folder %1 does not exist</translation>
    </message>
    <message>
        <source>文件是只读的</source>
        <translation>the file is read-only</translation>
    </message>
    <message>
        <source>没有在文件夹 %1 中写入的权限</source>
        <translation>no permission to write in the folder %1</translation>
    </message>
    <message>
        <source>写入失败，磁盘可能已满</source>
        <translation>writing failed; the disk may be full</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>writing failed</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>Can&apos;t write %1: %2</translation>
    </message>
    <message>
        <source>%1 不是普通文件</source>
        <translation>%1 is not a regular file</translation>
    </message>
    <message>
        <source>无法读取 %1：%2</source>
        <translation>Can&apos;t read %1: %2</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>reading failed</translation>
    </message>
    <message>
        <source>没有读取权限</source>
        <translation>no permission to read</translation>
    </message>
    <message>
        <source>无法读取 %1：读取失败</source>
        <translation>Can&apos;t read %1: reading failed</translation>
    </message>
    <message>
        <source>“%1”不能用作设置文件中的节名</source>
        <translation>“%1” can&apos;t be a section name in the settings file</translation>
    </message>
    <message>
        <source>“%1”不能用作设置文件中的键名</source>
        <translation>“%1” can&apos;t be a key name in the settings file</translation>
    </message>
    <message>
        <source>%1 的值含有换行符，设置文件的一行存不下它</source>
        <translation>the value of %1 holds a line break, which one line of the settings file can&apos;t store</translation>
    </message>
    <message>
        <source>%1 大于 %2 KiB，不像是设置文件；为不损坏其中的内容，没有改动它</source>
        <translation>%1 is larger than %2 KiB and does not look like a settings file; it was left unchanged so as not to damage its content</translation>
    </message>
</context>
</TS>
