<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Velmora</source>
        <translation>Velmora</translation>
    </message>
    <message>
        <source>IMU校准</source>
        <translation>IMU Calibration</translation>
    </message>
    <message>
        <source>PTZ 固件 (*.ptz)</source>
        <translation>PTZ firmware (*.ptz)</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>Z</source>
        <translation>Z</translation>
    </message>
    <message>
        <source>K5 (三轴)</source>
        <translation>K5 (3-Axis)</translation>
    </message>
    <message>
        <source>K5 (两轴)</source>
        <translation>K5 (2-Axis)</translation>
    </message>
    <message>
        <source>K5-Delta</source>
        <translation>K5-Delta</translation>
    </message>
    <message>
        <source>K5-Ember</source>
        <translation>K5-Ember</translation>
    </message>
    <message>
        <source>K5-Aster</source>
        <translation>K5-Aster</translation>
    </message>
    <message>
        <source>K5-Birch</source>
        <translation>K5-Birch</translation>
    </message>
    <message>
        <source>K5-Birch2</source>
        <translation>K5-Birch2</translation>
    </message>
    <message>
        <source>未找到云台适配器：请插入一个</source>
        <translation>No gimbal adapter found: plug one in</translation>
    </message>
    <message>
        <source>串口已经关闭！</source>
        <translation>Serial port has been closed!</translation>
    </message>
    <message>
        <source>串口已经打开 (%1)</source>
        <translation>Serial port is already open (%1)</translation>
    </message>
    <message>
        <source>串口无法打开!</source>
        <translation>Unable to open the serial port!</translation>
    </message>
    <message>
        <source>串口无法打开：没有访问权限。请安装 udev 规则 60-velmora.rules，或将用户加入 dialout 组后重新登录。</source>
        <translation>Unable to open the serial port: permission denied. Install the udev rule 60-velmora.rules, or add your user to the dialout group and log in again.</translation>
    </message>
    <message>
        <source>串口无法打开：另一个程序正在使用它。</source>
        <translation>Unable to open the serial port: another program is using it.</translation>
    </message>
    <message>
        <source>产品:</source>
        <translation>Product:</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>加速度(g)</source>
        <translation>Acceleration(g)</translation>
    </message>
    <message>
        <source>固件</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>固件更新</source>
        <translation>Firmware Upgrade</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>已连接！</source>
        <translation>Connected!</translation>
    </message>
    <message>
        <source>打开串口</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>文件信息:</source>
        <translation>File Info:</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>查找文件</source>
        <translation>Select Firmware File</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>校准失败，请重新校准！</source>
        <translation>Calibration fails, please recalibrate the Gimbal!</translation>
    </message>
    <message>
        <source>校准完成！</source>
        <translation>Calibration success!</translation>
    </message>
    <message>
        <source>模</source>
        <translation>Mod</translation>
    </message>
    <message>
        <source>步骤</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>步骤 %1</source>
        <translation>Step %1</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>硬件</source>
        <translation>Hardware</translation>
    </message>
    <message>
        <source>等待连接...</source>
        <translation>Wait for connect...</translation>
    </message>
    <message>
        <source>结构</source>
        <translation>Framework</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>设备信息:</source>
        <translation>Device Info:</translation>
    </message>
    <message>
        <source>请指定固件文件路径!</source>
        <translation>Please specify the firmware file path!</translation>
    </message>
    <message>
        <source>请按步骤完成操作！</source>
        <translation>Please complete the operation step by step!</translation>
    </message>
    <message>
        <source>路径:</source>
        <translation>Path:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>连接中(%1s)</source>
        <translation>Connecting(%1s)</translation>
    </message>
    <message>
        <source>连接已断开！</source>
        <translation>Disconnected!</translation>
    </message>
    <message>
        <source>陀螺仪(度/秒)</source>
        <translation>Gyroscope(degree/s)</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Plot</translation>
    </message>
    <message>
        <source>传感器曲线</source>
        <translation>Sensor plot</translation>
    </message>
    <message>
        <source>此端口上次的固件更新没有完成：云台可能停在引导程序中，请在“固件更新”页完成更新。</source>
        <translation>The last firmware update on this port did not finish: the gimbal may be waiting in its bootloader. The Firmware Upgrade tab can finish the update.</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>更新与校准的记录</source>
        <translation>Records of updates and calibrations</translation>
    </message>
    <message>
        <source>仅接受已签名的固件</source>
        <translation>Only signed packages</translation>
    </message>
    <message>
        <source>本机要求签名（/etc/velmora/require-signed）</source>
        <translation>Required on this machine (/etc/velmora/require-signed)</translation>
    </message>
    <message>
        <source>未签名</source>
        <translation>Not signed</translation>
    </message>
    <message>
        <source>已签名：%1（密钥 %2）</source>
        <translation>Signed: %1 (key %2)</translation>
    </message>
    <message>
        <source>签名无效</source>
        <translation>Signature does not hold</translation>
    </message>
    <message>
        <source>签名密钥不受信任：%1</source>
        <translation>Signed by a key not trusted here: %1</translation>
    </message>
    <message>
        <source>固件签名无效，已拒绝！</source>
        <translation>The package&apos;s signature does not hold: refused!</translation>
    </message>
    <message>
        <source>固件签名密钥不受信任，已拒绝！</source>
        <translation>The package is signed by a key not trusted here: refused!</translation>
    </message>
    <message>
        <source>固件未签名，只接受已签名的固件！</source>
        <translation>The package is not signed, and only signed packages are accepted!</translation>
    </message>
    <message>
        <source>记录无法写入：%1</source>
        <translation>Journal not written: %1</translation>
    </message>
    <message>
        <source>记录无法发送：%1</source>
        <translation>Journal not sent: %1</translation>
    </message>
    <message>
        <source>目录...</source>
        <translation>Catalogue...</translation>
    </message>
    <message>
        <source>固件目录的地址与通道</source>
        <translation>Where the firmware catalogue is, and which channel is followed</translation>
    </message>
    <message>
        <source>检查</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>在静止状态下检查校准是否良好</source>
        <translation>Check at rest whether the calibration is sound</translation>
    </message>
</context>
<context>
    <name>UpdateService</name>
    <message>
        <source>固件与设备硬件不匹配，请使用正确的固件文件！</source>
        <translation>Please use the correct firmware file!</translation>
    </message>
    <message>
        <source>固件与设备结构不匹配，请使用正确的固件文件！</source>
        <translation>Please use the correct firmware file!</translation>
    </message>
    <message>
        <source>固件文件与设备不匹配，请使用正确的固件文件！</source>
        <translation>Please use the correct firmware file!</translation>
    </message>
    <message>
        <source>固件文件不存在或无法访问！</source>
        <translation>Firmware does not exist!</translation>
    </message>
    <message>
        <source>固件文件格式无效！</source>
        <translation>Firmware format invalid!</translation>
    </message>
    <message>
        <source>更新完成，用时%1s，运行新固件！</source>
        <translation>Success! Elapsed time: %1s!</translation>
    </message>
    <message>
        <source>正在更新设备%1固件</source>
        <translation>Device %1 firmware updating</translation>
    </message>
    <message>
        <source>正在获取设备信息</source>
        <translation>Searching</translation>
    </message>
    <message>
        <source>获取固件文件信息</source>
        <translation>Searching for the firmware file information</translation>
    </message>
    <message>
        <source>获取设备%1信息失败！</source>
        <translation>Device%1 information failed!</translation>
    </message>
    <message>
        <source>获取设备信息失败！</source>
        <translation>Searching Failed!</translation>
    </message>
    <message>
        <source>获取设备信息成功！</source>
        <translation>Device information Success!</translation>
    </message>
    <message>
        <source>设备%1固件大小溢出！</source>
        <translation>Device %1 firmware size overflow!</translation>
    </message>
    <message>
        <source>设备%1更新失败，重启至升级模式！</source>
        <translation>Device %1 update failed!</translation>
    </message>
    <message>
        <source>连接设备成功！</source>
        <translation>Device connect success!</translation>
    </message>
    <message>
        <source>连接设备超时！</source>
        <translation>Connection timed out!</translation>
    </message>
</context>
<context>
    <name>SensorPlotWindow</name>
    <message>
        <source>传感器曲线</source>
        <translation>Sensor plot</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>自动缩放</source>
        <translation>Auto scale</translation>
    </message>
    <message>
        <source>录制 CSV…</source>
        <translation>Record CSV…</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>录制到 CSV 文件</source>
        <translation>Record to a CSV file</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>正在录制到 %1</source>
        <translation>Recording to %1</translation>
    </message>
    <message>
        <source>无法录制到 %1：%2</source>
        <translation>Cannot record to %1: %2</translation>
    </message>
    <message>
        <source>已录制 %1 行到 %2</source>
        <translation>Recorded %1 rows to %2</translation>
    </message>
</context>
<context>
    <name>CalibrationWords</name>
    <message>
        <source>让它仰面躺下，镜头朝上</source>
        <translation>lay it on its back, camera pointing up</translation>
    </message>
    <message>
        <source>让它俯面趴下，镜头朝下</source>
        <translation>lay it on its front, camera pointing down</translation>
    </message>
    <message>
        <source>让它右侧着地躺下，镜头朝前</source>
        <translation>lay it on its right side, camera forward</translation>
    </message>
    <message>
        <source>让它左侧着地躺下，镜头朝前</source>
        <translation>lay it on its left side, camera forward</translation>
    </message>
    <message>
        <source>让它手柄朝下竖直立起，镜头朝前</source>
        <translation>stand it upright on its handle, camera forward</translation>
    </message>
    <message>
        <source>把它倒过来，手柄朝上，镜头朝前</source>
        <translation>turn it upside down, handle up, camera forward</translation>
    </message>
    <message>
        <source>第 %1 面（共 %2 面）：%3</source>
        <translation>Face %1 of %2: %3</translation>
    </message>
    <message>
        <source>陀螺仪：请保持静止，不要移动</source>
        <translation>Gyroscope: keep it still</translation>
    </message>
</context>
<context>
    <name>ChipProgress</name>
    <message>
        <source>芯片 %1/%2：已是最新，无需写入</source>
        <translation>Chip %1 of %2: already up to date</translation>
    </message>
    <message>
        <source>芯片 %1/%2：写入完成</source>
        <translation>Chip %1 of %2: written</translation>
    </message>
    <message>
        <source>正在写入芯片 %1/%2</source>
        <translation>Writing chip %1 of %2</translation>
    </message>
    <message>
        <source>正在写入芯片 %1/%2，约剩 %3 秒</source>
        <translation>Writing chip %1 of %2, about %3 s left</translation>
    </message>
</context>
<context>
    <name>LinkHints</name>
    <message>
        <source>%1 没有应答：产品型号选对了吗？</source>
        <translation>No answer from a %1: is the product right?</translation>
    </message>
    <message>
        <source>%1 的读数全为零：产品型号选对了吗？</source>
        <translation>The %1 answers with all-zero readings: is the product right?</translation>
    </message>
</context>
<context>
    <name>StopUpdateQuestion</name>
    <message>
        <source>停止更新？</source>
        <translation>Stop the update?</translation>
    </message>
    <message>
        <source>固件正在写入。现在停止，云台会停留在引导程序中，直到再次完成更新。
要停止更新吗？</source>
        <translation>The firmware is being written. If you stop now, the gimbal stays in its bootloader until an update is finished.
Stop the update?</translation>
    </message>
    <message>
        <source>停止更新</source>
        <translation>Stop the update</translation>
    </message>
    <message>
        <source>继续写入</source>
        <translation>Keep writing</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>筛选：任一列含有的文字</source>
        <translation>Filter: text in any column</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Updates</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Calibrations</translation>
    </message>
    <message>
        <source>检查</source>
        <translation>Checks</translation>
    </message>
    <message>
        <source>无法读取记录：%1</source>
        <translation>Journal not readable: %1</translation>
    </message>
    <message>
        <source>显示 %1 / %2 条记录</source>
        <translation>Showing %1 of %2 records</translation>
    </message>
    <message>
        <source>共享日志 %1 的汇总</source>
        <translation>Summary of the shared journal %1</translation>
    </message>
    <message>
        <source>共享日志 %1 无法读取（%2），以下为本机记录的汇总</source>
        <translation>The shared journal %1 could not be read (%2); summary of this machine's records</translation>
    </message>
    <message>
        <source>全部时间</source>
        <translation>All time</translation>
    </message>
    <message>
        <source>今天</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>最近 7 天</source>
        <translation>Last 7 days</translation>
    </message>
    <message>
        <source>最近 30 天</source>
        <translation>Last 30 days</translation>
    </message>
</context>
<context>
    <name>YieldSummary</name>
    <message>
        <source>此范围内没有更新或校准记录。</source>
        <translation>No update or calibration in this range.</translation>
    </message>
    <message numerus="yes">
        <source>尝试 %n 次</source>
        <translation>
            <numerusform>%n attempt</numerusform>
            <numerusform>%n attempts</numerusform>
        </translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message numerus="yes">
        <source>云台 %n 台</source>
        <translation>
            <numerusform>%n gimbal</numerusform>
            <numerusform>%n gimbals</numerusform>
        </translation>
    </message>
    <message>
        <source>首次通过率 %1，最终通过率 %2</source>
        <translation>First-pass yield %1, final yield %2</translation>
    </message>
    <message>
        <source>每次用时：中位数 %1，90 分位 %2</source>
        <translation>Time per attempt: median %1, 90th percentile %2</translation>
    </message>
    <message numerus="yes">
        <source>校准 %n 次</source>
        <translation>
            <numerusform>%n calibration</numerusform>
            <numerusform>%n calibrations</numerusform>
        </translation>
    </message>
    <message>
        <source>成功 %1 次</source>
        <translation>%1 succeeded</translation>
    </message>
    <message>
        <source>无法计算汇总：%1</source>
        <translation>Summary not computed: %1</translation>
    </message>
    <message>
        <source>正在计算汇总…</source>
        <translation>Computing the summary…</translation>
    </message>
    <message>
        <source>另有 %1 次被拒绝，未写入云台（产线设置的问题，不计入通过率）</source>
        <translation>Also %1 refused with nothing written (the line&apos;s setup, not counted in the yield)</translation>
    </message>
</context>
<context>
    <name>YieldCharts</name>
    <message>
        <source>此范围内没有更新记录，没有通过率可显示</source>
        <translation>No update in this range: no yield to show</translation>
    </message>
    <message>
        <source>首次通过率（按日）</source>
        <translation>First-pass yield by day</translation>
    </message>
    <message>
        <source>失败原因（帕累托，线为累计占比）</source>
        <translation>Failures by outcome (Pareto; the line is the cumulative share)</translation>
    </message>
    <message>
        <source>没有失败的尝试</source>
        <translation>No failed attempt</translation>
    </message>
</context>
<context>
    <name>JournalTableModel</name>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>校准</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>检查</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>%1 页，停在芯片 %2</source>
        <translation>%1 pages, stopped at chip %2</translation>
    </message>
    <message>
        <source>%1 页</source>
        <translation>%1 pages</translation>
    </message>
    <message>
        <source>%1，%2 面，%3</source>
        <translation>%1, %2 faces, %3</translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>saved</translation>
    </message>
    <message>
        <source>未保存</source>
        <translation>not saved</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>工位</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>产品</source>
        <translation>Product</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>芯片</source>
        <translation>Chips</translation>
    </message>
    <message>
        <source>固件</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>固件包</source>
        <translation>Package</translation>
    </message>
    <message>
        <source>详情</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>%1 %2（目录）</source>
        <translation>%1 %2 (catalogue)</translation>
    </message>
    <message>
        <source>%1 %2（目录，%3）</source>
        <translation>%1 %2 (catalogue, %3)</translation>
    </message>
</context>
<context>
    <name>ChipHistory</name>
    <message>
        <source>芯片 %1：本站上次更新于 %2，%3 → %4</source>
        <translation>Chip %1: last updated on this station %2, %3 → %4</translation>
    </message>
    <message>
        <source>芯片 %1：本站上次检查于 %2，已是 %3</source>
        <translation>Chip %1: last checked on this station %2, already at %3</translation>
    </message>
</context>
<context>
    <name>CatalogueOffer</name>
    <message>
        <source>适用于此云台</source>
        <translation>Available for this gimbal</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>目录的签名不成立</source>
        <translation>the catalogue&apos;s signature does not hold</translation>
    </message>
    <message>
        <source>目录没有签名文件（%1）</source>
        <translation>the catalogue has no signature file (%1)</translation>
    </message>
    <message>
        <source>目录在签名之后被改动过</source>
        <translation>the catalogue was changed after it was signed</translation>
    </message>
    <message>
        <source>目录比已见过的旧（旧列表被再次提供）</source>
        <translation>the catalogue is older than one already seen (an old list served again)</translation>
    </message>
    <message>
        <source>目录已过期：不再从中下载新固件</source>
        <translation>the catalogue has expired: nothing new is downloaded from it</translation>
    </message>
    <message>
        <source>无法读取该目录</source>
        <translation>the catalogue is not one this program can read</translation>
    </message>
    <message>
        <source>下载的固件与目录所列不符（大小或 SHA-256）</source>
        <translation>the package is not the one the catalogue lists (size or SHA-256)</translation>
    </message>
    <message>
        <source>无法获取</source>
        <translation>nothing could be fetched</translation>
    </message>
    <message>
        <source>目录中没有适合此云台的版本</source>
        <translation>no release in the catalogue fits this gimbal</translation>
    </message>
    <message>
        <source>该版本比正在运行的固件旧</source>
        <translation>the release is older than the running firmware</translation>
    </message>
    <message>
        <source>正在读取目录...</source>
        <translation>Reading the catalogue...</translation>
    </message>
    <message>
        <source>目录发布于 %1，已 1 天，离线</source>
        <translation>catalogue from %1, 1 day old, offline</translation>
    </message>
    <message>
        <source>目录发布于 %1，已 %2 天，离线</source>
        <translation>catalogue from %1, %2 days old, offline</translation>
    </message>
    <message>
        <source>目录发布于 %1，已 1 天</source>
        <translation>catalogue from %1, 1 day old</translation>
    </message>
    <message>
        <source>目录发布于 %1，已 %2 天</source>
        <translation>catalogue from %1, %2 days old</translation>
    </message>
    <message>
        <source>%1（正在运行 %2）</source>
        <translation>%1 (running %2)</translation>
    </message>
    <message>
        <source>%1，发布于 %2</source>
        <translation>%1, released %2</translation>
    </message>
    <message>
        <source>下载旧版本？</source>
        <translation>Download an older version?</translation>
    </message>
    <message>
        <source>%1 比正在运行的固件 %2 旧。仍要下载吗？</source>
        <translation>%1 is older than the running firmware %2. Download it anyway?</translation>
    </message>
    <message>
        <source>正在下载 %1...</source>
        <translation>Downloading %1...</translation>
    </message>
    <message>
        <source>%1 未下载：%2</source>
        <translation>%1 not downloaded: %2</translation>
    </message>
    <message>
        <source>固件的签名不成立或密钥不受信任</source>
        <translation>the package's own signature does not hold or its key is not trusted</translation>
    </message>
    <message>
        <source>下载的文件不是有效的固件包</source>
        <translation>the downloaded file is not a valid firmware package</translation>
    </message>
    <message>
        <source>%1 取自本机缓存</source>
        <translation>%1 taken from this computer's cache</translation>
    </message>
    <message>
        <source>%1 已下载</source>
        <translation>%1 downloaded</translation>
    </message>
    <message>
        <source>固件目录</source>
        <translation>Firmware catalogue</translation>
    </message>
    <message>
        <source>https://... 或文件夹；留空则不使用目录</source>
        <translation>https://... or a folder; empty for no catalogue</translation>
    </message>
    <message>
        <source>目录地址：</source>
        <translation>Catalogue:</translation>
    </message>
    <message>
        <source>通道：</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>VELMORA_CATALOGUE 已设置，它优先于此处的地址。</source>
        <translation>VELMORA_CATALOGUE is set and takes precedence over this location.</translation>
    </message>
</context>
<context>
    <name>CheckFigures</name>
    <message>
        <source>测量</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>范围</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>这个云台的检查再次没有通过：传感器可能有问题。</source>
        <translation>The check failed again on this gimbal: its sensor may be at fault.</translation>
    </message>
    <message>
        <source>检查校准结果：请保持静止</source>
        <translation>Checking the calibration: keep it still</translation>
    </message>
    <message>
        <source>限值文件有误，没有检查：%1</source>
        <translation>The limits file has a mistake; nothing was checked: %1</translation>
    </message>
    <message>
        <source>检查</source>
        <translation>Check</translation>
    </message>
</context>
<context>
    <name>CheckWords</name>
    <message>
        <source>重力读数</source>
        <translation>Gravity reading</translation>
    </message>
    <message>
        <source>加速度计噪声</source>
        <translation>Accelerometer noise</translation>
    </message>
    <message>
        <source>陀螺仪零偏</source>
        <translation>Gyroscope bias</translation>
    </message>
    <message>
        <source>陀螺仪噪声</source>
        <translation>Gyroscope noise</translation>
    </message>
    <message>
        <source>倾斜</source>
        <translation>Tilt</translation>
    </message>
    <message>
        <source>%1：%2 %3（限值 %4 至 %5 %3）</source>
        <translation>%1: %2 %3 (limits %4 to %5 %3)</translation>
    </message>
    <message>
        <source>请把云台放在底座上，保持静止</source>
        <translation>Rest the gimbal on its base and keep it still</translation>
    </message>
    <message>
        <source>正在检查，请保持静止……</source>
        <translation>Checking; keep it still…</translation>
    </message>
    <message>
        <source>校准良好</source>
        <translation>Calibration looks good</translation>
    </message>
    <message>
        <source>需要校准</source>
        <translation>Calibration needed</translation>
    </message>
    <message>
        <source>检查未通过：%1</source>
        <translation>Check failed: %1</translation>
    </message>
    <message>
        <source>检查未通过：云台一直没有保持静止</source>
        <translation>Check failed: the gimbal never kept still</translation>
    </message>
    <message>
        <source>检查未完成：云台停止了应答</source>
        <translation>Check not finished: the gimbal stopped answering</translation>
    </message>
    <message>
        <source>检查已取消</source>
        <translation>Check cancelled</translation>
    </message>
    <message>
        <source>检查未通过</source>
        <translation>Check failed</translation>
    </message>
    <message>
        <source>请把云台放在稳固、水平的表面上重新校准；如果再次检查仍未通过，可能是传感器故障。</source>
        <translation>Calibrate again with the gimbal on a firm, level surface; if the check fails a second time, the sensor may be faulty.</translation>
    </message>
</context>
<context>
    <name>StationTile</name>
    <message>
        <source>等待</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>序列号 %1</source>
        <translation>Serial %1</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>PASS</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>已拒绝</source>
        <translation>REFUSED</translation>
    </message>
    <message>
        <source>完成：请换下一台</source>
        <translation>Done: plug in the next one</translation>
    </message>
    <message>
        <source>已拔出</source>
        <translation>Unplugged</translation>
    </message>
    <message>
        <source>已拔出：等待下一台</source>
        <translation>Unplugged: waiting for the next one</translation>
    </message>
    <message>
        <source>固件已写入</source>
        <translation>Firmware written</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Writing failed</translation>
    </message>
    <message>
        <source>固件包与硬件不符</source>
        <translation>The package does not fit this hardware</translation>
    </message>
    <message>
        <source>芯片数量与固件包不符</source>
        <translation>The chip count does not match the package</translation>
    </message>
    <message>
        <source>新固件没有运行</source>
        <translation>The new firmware does not run</translation>
    </message>
    <message>
        <source>云台没有进入升级模式</source>
        <translation>The gimbal did not enter its bootloader</translation>
    </message>
    <message>
        <source>写入时连接断开</source>
        <translation>The connection was lost while writing</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>串口无法打开</source>
        <translation>The port cannot be opened</translation>
    </message>
    <message>
        <source>固件包未签名</source>
        <translation>The package is not signed</translation>
    </message>
    <message>
        <source>固件包签名无效</source>
        <translation>The package's signature is invalid</translation>
    </message>
    <message>
        <source>固件包签名密钥不受信任</source>
        <translation>The package's signing key is not trusted</translation>
    </message>
    <message>
        <source>固件目录的问题，未写入</source>
        <translation>A catalogue problem: nothing written</translation>
    </message>
    <message>
        <source>固件包无法使用</source>
        <translation>The package cannot be used</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Update failed</translation>
    </message>
</context>
<context>
    <name>StationWindow</name>
    <message>
        <source>Velmora 工位</source>
        <translation>Velmora Station</translation>
    </message>
    <message>
        <source>固件包：</source>
        <translation>Package:</translation>
    </message>
    <message>
        <source>扫描序列号：</source>
        <translation>Scan serial:</translation>
    </message>
    <message>
        <source>选择固件包，或使用固件目录</source>
        <translation>Choose a package, or use the catalogue</translation>
    </message>
    <message>
        <source>固件目录：%1</source>
        <translation>Catalogue: %1</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>使用固件目录</source>
        <translation>Use the catalogue</translation>
    </message>
    <message>
        <source>检查新固件是否运行</source>
        <translation>Check that the new firmware runs</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>扫描产品标签上的序列号</source>
        <translation>Scan the serial on the unit's label</translation>
    </message>
    <message>
        <source>正在写入固件：写入结束前不能更换固件包或设置</source>
        <translation>A gimbal is being written: the package and settings can change once its write has ended</translation>
    </message>
    <message>
        <source>选择固件包</source>
        <translation>Choose a package</translation>
    </message>
    <message>
        <source>没有设置固件目录</source>
        <translation>No catalogue is set</translation>
    </message>
    <message>
        <source>请选择固件包</source>
        <translation>Choose a package first</translation>
    </message>
    <message>
        <source>固件包被拒绝：%1</source>
        <translation>Package refused: %1</translation>
    </message>
    <message>
        <source>本工位要求先扫描序列号再写入</source>
        <translation>This station writes a gimbal only after its serial is scanned</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>等待扫描序列号</source>
        <translation>Scan this unit's serial</translation>
    </message>
    <message>
        <source>读取芯片</source>
        <translation>Listing the chips</translation>
    </message>
    <message>
        <source>获取固件</source>
        <translation>Fetching the firmware</translation>
    </message>
    <message>
        <source>写入 %1 %，剩余 %2 秒</source>
        <translation>Writing %1 %, %2 s left</translation>
    </message>
    <message>
        <source>写入 %1 %</source>
        <translation>Writing %1 %</translation>
    </message>
    <message>
        <source>检查新固件</source>
        <translation>Checking the new firmware</translation>
    </message>
    <message>
        <source>固件已是最新</source>
        <translation>Firmware already up to date</translation>
    </message>
    <message>
        <source>请先开始工位</source>
        <translation>Start the station first</translation>
    </message>
    <message>
        <source>%1：插入的下一台使用</source>
        <translation>%1: for the next gimbal plugged in</translation>
    </message>
    <message>
        <source>%1：%2 的下一台使用</source>
        <translation>%1: for the next gimbal on %2</translation>
    </message>
    <message>
        <source>不是序列号：%1</source>
        <translation>Not a serial: %1</translation>
    </message>
    <message>
        <source>%1 已在使用</source>
        <translation>%1 is already in use</translation>
    </message>
    <message>
        <source>今天：合格 %1　不合格 %2　一次通过率 %3</source>
        <translation>Today: passed %1   failed %2   first-pass yield %3</translation>
    </message>
    <message>
        <source>正在写入固件</source>
        <translation>Gimbals are being written</translation>
    </message>
    <message>
        <source>有 %1 台云台正在写入固件。现在关闭会安全地停止写入（云台需要重新升级）。确定关闭吗？</source>
        <translation>%1 gimbal(s) are being written. Closing now stops each write safely (those gimbals must be updated again). Close?</translation>
    </message>
    <message>
        <source>正在安全停止写入…</source>
        <translation>Stopping the writes safely…</translation>
    </message>
    <message numerus="yes">
        <source>%n 个芯片（固件 %1）</source>
        <translation>
            <numerusform>%n chip (firmware %1)</numerusform>
            <numerusform>%n chips (firmware %1)</numerusform>
        </translation>
    </message>
</context>
</TS>
